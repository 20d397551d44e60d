#pragma once

#include <QString>

// The engine speaks to two audiences: kolvane-calc answers in English, the GUI in Russian.
// Each message is written once with both texts side by side, so neither can be forgotten;
// the program picks the language at start (English unless told otherwise).
enum class MessageLanguage { English, Russian };

void setMessageLanguage(MessageLanguage language);
MessageLanguage messageLanguage();

// The text in the current language; fill its %1, %2, ... with one multi-argument arg(), so a
// '%' inside a file name is never taken for a placeholder.
QString localized(const char *english, const char *russian);

// While it lives, localized() on this thread speaks `language` whatever the program's choice:
// for a text that must read the same from every program, such as a field of an output file.
class MessageLanguageScope
{
public:
    explicit MessageLanguageScope(MessageLanguage language);
    ~MessageLanguageScope();
    MessageLanguageScope(const MessageLanguageScope &) = delete;
    MessageLanguageScope &operator=(const MessageLanguageScope &) = delete;

private:
    int m_previous;
};

// Whether `c` is a control character: U+0000..U+001F or U+007F. No name may hold one.
constexpr bool isControlCharacter(char16_t c)
{
    return c < 0x20 || c == 0x7F;
}

// `text` with every control character shown as its picture (U+2400..U+241F, U+2421 for DEL), so
// that a name holding one never breaks a line, a message or a list entry in two.
QString visibleText(const QString &text);
