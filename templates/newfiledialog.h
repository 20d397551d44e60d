#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the type and the name of a new template. The type index is the TemplateKind.
class NewFileDialog : public QDialog
{
    Q_OBJECT
public:
    explicit NewFileDialog(QWidget *parent = nullptr);

    QString fileName() const;  // as typed
    int fileType() const;      // the combo box index

private:
    QLabel *m_typeLabel;
    QLabel *m_nameLabel;
    QComboBox *m_type;
    QLineEdit *m_name;
    QPushButton *m_add;
    QPushButton *m_cancel;
};
