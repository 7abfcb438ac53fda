#pragma once

#include <QTranslator>

// The message boxes' button that shows and hides the details speaks Chinese like the rest
// of the window: "显示详细信息…" and "隐藏详细信息…". Every other text Qt shows is left to
// the other translators.
class DetailButtonTexts : public QTranslator
{
public:
    // Installs the texts for the running application, once.
    static void install();

    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override;
    bool isEmpty() const override { return false; }

private:
    using QTranslator::QTranslator;
};
