#pragma once

#include "engine/calcrun.h"

#include <QObject>
#include <QString>

#include <memory>

class QWidget;

// The window's last calculation: the one value that the result, reach and margin tables, the
// graph and every export show. A run goes on a worker thread behind the progress dialog; only a
// run that ends replaces the value.
class LastRun : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Done, Refused, Cancelled };

    explicit LastRun(QObject *parent = nullptr);
    ~LastRun() override;

    // Runs `settings` on the templates of the working directory. Done: the run is the new value
    // and changed() has been emitted. Refused (*error says why) and Cancelled keep the last one.
    Outcome run(QWidget *progressParent, const CalcSettings &settings, QString *error);

    // Null before the first run.
    const CalcRun *get() const { return m_run.get(); }

signals:
    void changed();

private:
    std::unique_ptr<const CalcRun> m_run;
};
