// The message boxes fit the screen whatever they name: an over-long text or reason is
// shortened in the middle and kept whole in the box's detail, before any detail the caller
// passed.
#include "boxtext.h"
#include "messageboxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QtTest>

namespace {

const QChar kEllipsis(0x2026);
const QString kTitle = QStringLiteral("错误提示！");

// "name name name ..." of about `length` characters, or one unbroken word.
QString longName(int length, bool blanks)
{
    QString name;
    const QString word = blanks ? QStringLiteral("port%1 ") : QStringLiteral("port%1");
    for (int i = 0; name.size() < length; ++i)
        name += word.arg(i);
    return name.left(length);
}

QString lostText(const QString &port)
{
    return QStringLiteral("串口 ") + port + QStringLiteral(" 已断开!");
}

QString openText(const QString &port)
{
    return QStringLiteral("串口 ") + port + QStringLiteral(" 不存在或被占用!");
}

QString noPermission(const QString &device)
{
    return QStringLiteral("没有读写设备 %1 的权限。\n解决办法：把当前用户加入拥有该设备的用户组 "
                          "dialout（例如 sudo usermod -aG dialout $USER），然后注销并重新登录。")
        .arg(device);
}

bool hasLoneSurrogate(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && (i + 1 == text.size() || !text.at(i + 1).isLowSurrogate()))
            return true;
        if (c.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate()))
            return true;
    }
    return false;
}

} // namespace

class TstMessageBoxes : public QObject
{
    Q_OBJECT
private slots:
    void fitted_data();
    void fitted();
    void boxFitsTheScreen_data();
    void boxFitsTheScreen();
};

void TstMessageBoxes::fitted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QSize>("room");
    QTest::addColumn<bool>("shortened");

    const QSize room(280, 200);
    QTest::newRow("a short name is left as it is")
        << lostText(QStringLiteral("ESP8266 模拟模块 (/dev/pts/3)")) << room << false;
    QTest::newRow("10,000 characters with blanks")
        << lostText(longName(10000, true)) << room << true;
    QTest::newRow("10,000 characters without blanks")
        << lostText(longName(10000, false)) << room << true;
    QTest::newRow("a long Chinese name") << lostText(QString(3000, QChar(0x6A21))) << room << true;
    QString pairs;
    for (int i = 0; i < 3000; ++i)
        pairs += QString::fromUcs4(U"\U0001F600");
    QTest::newRow("characters of two code units are never split")
        << lostText(pairs) << room << true;
    QTest::newRow("one line of room") << lostText(longName(200, true)) << QSize(280, 20) << true;
}

void TstMessageBoxes::fitted()
{
    QFETCH(QString, text);
    QFETCH(QSize, room);
    QFETCH(bool, shortened);
    const QFontMetrics metrics(QApplication::font());

    const QString shown = BoxText::fitted(text, metrics, room);

    const QRect needed =
        metrics.boundingRect(QRect(0, 0, room.width(), 1 << 24), Qt::TextWordWrap, shown);
    QVERIFY2(needed.width() <= room.width() && needed.height() <= room.height(),
             qPrintable(QStringLiteral("needs %1 x %2 in %3 x %4")
                            .arg(needed.width())
                            .arg(needed.height())
                            .arg(room.width())
                            .arg(room.height())));
    if (!shortened) {
        QCOMPARE(shown, text);
        return;
    }
    QCOMPARE(shown.count(kEllipsis), 1);
    const qsizetype at = shown.indexOf(kEllipsis);
    const QString head = shown.left(at);
    const QString tail = shown.mid(at + 1);
    // Both ends of the text, about as much of each, and something of both.
    QVERIFY(text.startsWith(head));
    QVERIFY(text.endsWith(tail));
    QVERIFY2(head.size() >= 3 && tail.size() >= 3, qPrintable(shown));
    QVERIFY2(qAbs(head.size() - tail.size()) <= 1, qPrintable(shown));
    QVERIFY(!hasLoneSurrogate(shown));
    // No more is cut than needed: two more characters of each end would not fit.
    const QString more = text.left(head.size() + 2) + kEllipsis + text.right(tail.size() + 2);
    const QRect moreNeeded =
        metrics.boundingRect(QRect(0, 0, room.width(), 1 << 24), Qt::TextWordWrap, more);
    QVERIFY2(moreNeeded.width() > room.width() || moreNeeded.height() > room.height(),
             qPrintable(QStringLiteral("more of the text fits: ") + more.left(80)));
}

void TstMessageBoxes::boxFitsTheScreen_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("detail"); // what the caller passes
    QTest::addColumn<QString>("reason"); // shown under the text
    QTest::addColumn<bool>("shortened");
    QTest::addColumn<bool>("reasonShortened");

    const QString system = QStringLiteral("Resource temporarily unavailable");
    const QString none;
    QTest::newRow("a short name is shown whole")
        << lostText(QStringLiteral("ttyUSB0")) << none << none << false << false;
    QTest::newRow("a short name keeps its detail")
        << lostText(QStringLiteral("ttyUSB0")) << system << none << false << false;
    QTest::newRow("10,000 characters with blanks")
        << lostText(longName(10000, true)) << none << none << true << false;
    QTest::newRow("10,000 characters without blanks")
        << lostText(longName(10000, false)) << none << none << true << false;
    QTest::newRow("10,000 characters and a detail")
        << lostText(longName(10000, true)) << system << none << true << false;
    QTest::newRow("a name that looks like markup is shown as typed")
        << lostText(QStringLiteral("<b>COM3</b>")) << none << none << false << false;
    QTest::newRow("the reason is in the box, no details")
        << openText(QStringLiteral("ttyUSB0")) << none << noPermission("/dev/ttyUSB0") << false
        << false;
    QTest::newRow("a reason that looks like markup is shown as typed")
        << openText(QStringLiteral("<i>x</i>")) << none << noPermission("/dev/<i>x</i>") << false
        << false;
    QTest::newRow("a reason naming 10,000 characters")
        << openText(QStringLiteral("ttyUSB0")) << none << noPermission(longName(10000, false))
        << false << true;
    QTest::newRow("10,000 characters in the text and the reason")
        << openText(longName(10000, true)) << none << noPermission(longName(10000, true)) << true
        << true;
}

void TstMessageBoxes::boxFitsTheScreen()
{
    QFETCH(QString, text);
    QFETCH(QString, detail);
    QFETCH(QString, reason);
    QFETCH(bool, shortened);
    QFETCH(bool, reasonShortened);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();

    std::unique_ptr<QMessageBox> box =
        MessageBoxes::build(QMessageBox::Critical, kTitle, text, detail, nullptr, reason);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));

    QCOMPARE(box->windowTitle(), kTitle);
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    const QRect frame = box->frameGeometry();
    QVERIFY2(frame.width() <= screen.width() && frame.height() <= screen.height(),
             qPrintable(QStringLiteral("the box is %1 x %2 on a screen of %3 x %4")
                            .arg(frame.width())
                            .arg(frame.height())
                            .arg(screen.width())
                            .arg(screen.height())));
    // OK is the one answer (a detail adds its "show details" button), and every button
    // lies inside the box.
    QVERIFY(box->button(QMessageBox::Ok));
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    for (QAbstractButton *button : box->buttons()) {
        const QRect at(button->mapTo(box.get(), QPoint(0, 0)), button->size());
        QVERIFY2(box->rect().contains(at),
                 qPrintable(button->text() + QStringLiteral(" lies outside the box")));
    }

    // The reason is read without a click: shown under the text, as typed, inside the box.
    QCOMPARE(box->informativeText().isEmpty(), reason.isEmpty());
    if (!reason.isEmpty()) {
        const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
        QVERIFY(label && label->isVisible());
        QCOMPARE(label->textFormat(), Qt::PlainText);
        const QRect at(label->mapTo(box.get(), QPoint(0, 0)), label->size());
        QVERIFY2(box->rect().contains(at), "the reason lies outside the box");
    }

    // Whatever was shortened is in the detail whole: the text, then the reason, then the
    // caller's detail.
    QStringList whole;
    for (const auto &[full, shown, cut] :
         {std::tuple{text, box->text(), shortened}, {reason, box->informativeText(), reasonShortened}}) {
        if (!cut) {
            QCOMPARE(shown, full);
            continue;
        }
        QCOMPARE(shown.count(kEllipsis), 1);
        QVERIFY(full.startsWith(shown.left(shown.indexOf(kEllipsis))));
        QVERIFY(full.endsWith(shown.mid(shown.indexOf(kEllipsis) + 1)));
        whole.append(full);
    }
    if (!detail.isEmpty())
        whole.append(detail);
    QCOMPARE(box->detailedText(), whole.join(QStringLiteral("\n\n")));
}

QTEST_MAIN(TstMessageBoxes)
#include "tst_messageboxes.moc"
