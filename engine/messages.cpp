#include "engine/messages.h"

#include <atomic>

namespace {
std::atomic<MessageLanguage> currentLanguage{MessageLanguage::English};
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
    return QString::fromUtf8(messageLanguage() == MessageLanguage::Russian ? russian : english);
}
