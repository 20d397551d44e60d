#include "engine/messages.h"

#include <atomic>

namespace {
std::atomic<MessageLanguage> currentLanguage{MessageLanguage::English};
// A MessageLanguageScope's language on this thread; -1 when none is open.
thread_local int threadLanguage = -1;
}

void setMessageLanguage(MessageLanguage language)
{
    currentLanguage.store(language);
}

MessageLanguage messageLanguage()
{
    return currentLanguage.load();
}

QString localized(const char *english, const char *russian)
{
    const MessageLanguage language =
        threadLanguage >= 0 ? MessageLanguage(threadLanguage) : messageLanguage();
    return QString::fromUtf8(language == MessageLanguage::Russian ? russian : english);
}

MessageLanguageScope::MessageLanguageScope(MessageLanguage language)
    : m_previous(threadLanguage)
{
    threadLanguage = int(language);
}

MessageLanguageScope::~MessageLanguageScope()
{
    threadLanguage = m_previous;
}

QString visibleText(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown) {
        if (isControlCharacter(c.unicode()))
            c = QChar(c.unicode() == 0x7F ? char16_t(0x2421) : char16_t(0x2400 + c.unicode()));
    }
    return shown;
}
