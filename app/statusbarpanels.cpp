#include "statusbarpanels.h"

#include "quorlinrelease.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>
#include <QString>

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kBarHeightTwips = 375;

struct Panel
{
    const char *name;
    int widthTwips;
    QString text;
};

int toPixels(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

} // namespace

void setupStatusBarPanels(QStatusBar *bar)
{
    const Panel panels[] = {
        {"Panel1", 2480, QStringLiteral(QUORLIN_RELEASE_MAKER)},
        {"Panel2", 7880, QString()},
        {"Panel3", 3440, QStringLiteral(QUORLIN_RELEASE_SUPPORT)},
        {"Panel4", 3140, QStringLiteral(QUORLIN_RELEASE_AUTHOR)},
    };

    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(toPixels(kBarHeightTwips));

    // The panels sit side by side with no gap in one strip: the status bar's own layout
    // puts six pixels between its items, and with those the four widths would not fit
    // into the window.
    auto *strip = new QWidget(bar);
    strip->setObjectName(QStringLiteral("StatusPanels"));
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (const Panel &panel : panels) {
        auto *label = new QLabel(panel.text, strip);
        label->setObjectName(QString::fromLatin1(panel.name));
        label->setFixedWidth(toPixels(panel.widthTwips));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        row->addWidget(label);
    }
    row->addStretch(1);
    bar->addWidget(strip, 1);
}
