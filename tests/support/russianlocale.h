#pragma once

// The users' locale for the length of a scope. On a Russian desktop QLocale's default is Russian,
// and QCoreApplication hands the environment's ru_RU.UTF-8 to the C library as well: both write
// and read ',' as the decimal separator. The C library half needs the locale installed
// (locale-gen); `active()` says whether it is in force.

#include <QByteArray>
#include <QLocale>
#include <QtTest>

#include <clocale>
#include <cstdio>

class RussianLocale
{
public:
    explicit RussianLocale(bool cLibrary)
        : m_cLibrary(cLibrary)
        , m_previousLocale(QLocale())
        , m_previousCLocale(std::setlocale(LC_ALL, nullptr))
    {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        m_active = !cLibrary || std::setlocale(LC_ALL, "ru_RU.UTF-8") != nullptr;
    }
    ~RussianLocale()
    {
        std::setlocale(LC_ALL, m_previousCLocale.constData());
        QLocale::setDefault(m_previousLocale);
    }
    RussianLocale(const RussianLocale &) = delete;
    RussianLocale &operator=(const RussianLocale &) = delete;

    bool active() const { return m_active; }

    // Whether 1.5 is now written "1,5" where it should be: by QLocale, and by the C library
    // when it was asked for.
    bool writesDecimalComma() const
    {
        if (QLocale().toString(1.5) != QLatin1String("1,5"))
            return false;
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 1.5);
        return !m_cLibrary || QByteArray(text) == "1,5";
    }

private:
    bool m_cLibrary = false;
    QLocale m_previousLocale;
    QByteArray m_previousCLocale;
    bool m_active = false;
};

// For the rest of the test function, the users' locale: QLocale only, or also the C library as the
// global data column "cLibrary" says. Skips where the C library lacks ru_RU.UTF-8.
#define SWITCH_TO_RUSSIAN_LOCALE()                                                                 \
    QFETCH_GLOBAL(bool, cLibrary);                                                                 \
    const RussianLocale russianLocale(cLibrary);                                                   \
    if (!russianLocale.active())                                                                   \
        QSKIP("ru_RU.UTF-8 is not installed for the C library");                                   \
    QVERIFY(russianLocale.writesDecimalComma())
