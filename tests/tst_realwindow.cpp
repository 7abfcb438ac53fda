// The window on a real X server (run under xvfb-run on the xcb platform): what the server
// holds for its caption, size, size hints and decorations, where it appears and where it
// goes, the Tab order, and whether every caption fits its control with the font in use.
// The X side is read with xprop, xwininfo, xdotool and xclip (x11-utils, xdotool, xclip).
//
// The suite also runs with QT_SCALE_FACTOR=2: the window then keeps its size in the
// window's own (logical) pixels and is twice as large on the X server, which counts device
// pixels. Every check of what the server holds converts with the window's pixel ratio.
// With QUORLIN_SCREENSHOT_DIR set, it saves a picture of the window there.

#include "logtext.h"
#include "countfont.h"
#ifdef QUORLIN_X11_COPY
#include "largecopyserver.h"
#endif
#include "messageboxes.h"
#include "startup.h"
#include "textfit.h"
#include "windowharness.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <signal.h>
#include <xcb/xcb.h>

namespace {

const QSize kClientArea(1137, 693);
// A reader of a large copy that takes nothing for so long is given up.
constexpr int kGiveUpMs = 2000;

// Calls back at each piece of a large copy a reader takes: each time it deletes the
// property the pieces come in.
class PieceWatch : public QAbstractNativeEventFilter
{
public:
    explicit PieceWatch(std::function<void(int)> taken) : m_taken(std::move(taken))
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~PieceWatch() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if (type == "xcb_generic_event_t" && (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
            static_cast<const xcb_property_notify_event_t *>(message)->state ==
                XCB_PROPERTY_DELETE) {
            m_taken(++m_pieces);
        }
        return false;
    }

private:
    std::function<void(int)> m_taken;
    int m_pieces = 0;
};
const QString kCaption = QStringLiteral("Quorlin-v1.1");

// The Motif window-manager hints, as the X server holds them.
constexpr uint kMwmHintsFunctions = 1u << 0;
constexpr uint kMwmHintsDecorations = 1u << 1;
constexpr uint kMwmAll = 1u << 0;
constexpr uint kMwmFuncMinimize = 1u << 3;
constexpr uint kMwmFuncMaximize = 1u << 4;
constexpr uint kMwmFuncClose = 1u << 5;
constexpr uint kMwmDecorMinimize = 1u << 5;
constexpr uint kMwmDecorMaximize = 1u << 6;

// Controls that take the focus, with their place in the Tab order. Frames, labels and the
// hidden port-name list Combo7 (75) never take it.
struct TabStop
{
    int tab;
    const char *name;
};
const TabStop kTabStops[] = {
    {1, "Command1"},   {2, "Combo2"},     {3, "Combo1"},     {9, "Command2"},  {10, "Text1"},
    {11, "Text2"},     {12, "Text3"},     {14, "Command3"},  {16, "Command4"}, {17, "Command5"},
    {18, "Command6"},  {19, "Command7"},  {20, "Command8"},  {21, "Command9"}, {22, "Command10"},
    {23, "Command11"}, {24, "Command12"}, {26, "Command13"}, {28, "Combo3"},   {30, "Text4"},
    {32, "Text5"},     {33, "Command14"}, {35, "Text6"},     {38, "Combo4"},   {40, "Command15"},
    {42, "Text7"},     {45, "Text8"},     {46, "Command16"}, {48, "Text9"},    {50, "Command17"},
    {51, "Command18"}, {52, "Command19"}, {53, "Command20"}, {55, "Text10"},   {56, "Command21"},
    {58, "Text11"},    {60, "Command22"}, {61, "Command23"}, {63, "Combo5"},   {64, "Command24"},
    {66, "Command25"}, {67, "Command26"}, {69, "Command27"}, {74, "Combo6"},   {76, "Command28"},
};

// Every control that shows a caption: the buttons, the labels, the captioned frames, the
// status bar's text panels, and the single-line text boxes with their start texts.
const char *const kCaptioned[] = {
    "Command1",  "Command2",  "Command3",  "Command4",  "Command5",  "Command6",  "Command7",
    "Command8",  "Command9",  "Command10", "Command11", "Command12", "Command13", "Command14",
    "Command15", "Command16", "Command17", "Command18", "Command19", "Command20", "Command21",
    "Command22", "Command23", "Command24", "Command25", "Command26", "Command27", "Command28",
    "Label1",    "Label2",    "Label3",    "Label4",    "Label5",    "Label6",    "Label7",
    "Label8",    "Label9",    "Label10",   "Label11",   "Label12",   "Label13",   "Label14",
    "Label18",   "Label19",   "Frame1",    "Frame2",    "Frame3",    "Frame5",    "Frame6",
    "Frame7",    "Frame8",    "Frame9",    "Frame10",   "Frame11",   "Frame12",   "Frame13",
    "Frame14",   "Panel1",    "Panel3",    "Panel4",    "Text4",     "Text5",     "Text6",
    "Text7",     "Text8",     "Text9",     "Text10",    "Text11",
};

struct ToolResult
{
    bool ran = false;
    QString output;
    QString error;
};

// Runs an X client tool: what it printed when it ran and succeeded, otherwise why it did
// not (ToolResult::error). It does not turn the event loop, so no timer of the window can
// fire while it runs.
ToolResult runTool(const QString &program, const QStringList &args)
{
    ToolResult result;
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(10000)) {
        result.error = program + QStringLiteral(" could not be started: ") + process.errorString();
        return result;
    }
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        result.error = program + QStringLiteral(" failed: ") +
                       QString::fromLocal8Bit(process.readAllStandardError());
        return result;
    }
    result.ran = true;
    result.output = QString::fromUtf8(process.readAllStandardOutput());
    return result;
}

QString windowId(const QWidget *window)
{
    return QString::number(window->winId());
}

// xprop's view of some properties of the window.
ToolResult xprop(const QWidget *window, const QStringList &properties)
{
    return runTool(QStringLiteral("xprop"),
                   QStringList{QStringLiteral("-id"), windowId(window)} + properties);
}

// Where the X server has the window, and how big: xwininfo's absolute position and size.
QRect serverGeometry(const QWidget *window)
{
    const ToolResult r =
        runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), windowId(window)});
    if (!r.ran)
        return {};
    auto field = [&r](const char *name) {
        const QRegularExpression re(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(name)));
        const QRegularExpressionMatch m = re.match(r.output);
        return m.hasMatch() ? m.captured(1).toInt() : -100000;
    };
    return QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                 field("Height"));
}

// The named control that holds the focus: the focus widget or the control it belongs to
// (the edit field of a list is part of the list).
QString focusedControl()
{
    static const QRegularExpression controlName(QStringLiteral("^(Command|Combo|Text)\\d+$"));
    for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (controlName.match(w->objectName()).hasMatch())
            return w->objectName();
        if (w->isWindow())
            break;
    }
    QWidget *w = QApplication::focusWidget();
    return w ? QStringLiteral("<%1 \"%2\">")
                   .arg(QLatin1String(w->metaObject()->className()), w->objectName())
             : QStringLiteral("<nothing>");
}

// What a control shows, for checking that a key press did not type into it.
QString shownText(QWidget *w)
{
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    if (auto *l = qobject_cast<QLineEdit *>(w))
        return l->text();
    if (auto *p = qobject_cast<QPlainTextEdit *>(w))
        return p->toPlainText();
    return {};
}

QString captionOf(QWidget *w)
{
    if (auto *b = qobject_cast<QPushButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    if (auto *l = qobject_cast<QLineEdit *>(w); l && !qobject_cast<QComboBox *>(w->parentWidget()))
        return l->text();
    return {};
}

// The frame as it paints itself, without its controls.
QImage frameAlone(QGroupBox *frame)
{
    QImage image(frame->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    frame->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return image;
}

// Whether row y, from x = from to the right edge (less the side border), is a line: nine
// tenths or more of its pixels differ both from the background around the frame and from
// the frame's inside.
bool isLineRow(const QImage &image, int y, int from, QRgb background, QRgb inside)
{
    const int to = image.width() - 4;
    int differing = 0;
    for (int x = from; x < to; ++x) {
        const QRgb pixel = image.pixel(x, y);
        differing += pixel != background && pixel != inside ? 1 : 0;
    }
    return to > from && differing * 10 >= (to - from) * 9;
}

// Reads "<what>: W by H" out of xprop's WM_NORMAL_HINTS lines.
QSize hintSize(const QString &hints, const QString &what)
{
    const QRegularExpression re(QRegularExpression::escape(what) +
                                QStringLiteral(":\\s*(\\d+) by (\\d+)"));
    const QRegularExpressionMatch m = re.match(hints);
    return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
}

// The scale the run asks Qt for (QT_SCALE_FACTOR), 1 when it asks for none.
qreal askedScale()
{
    bool ok = false;
    const qreal factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok && factor > 0 ? factor : 1.0;
}

// Logical pixels of the window as device pixels on the X server.
int devicePx(const QWidget *window, int logical)
{
    return qRound(logical * window->devicePixelRatioF());
}
QSize devicePx(const QWidget *window, QSize logical)
{
    return QSize(devicePx(window, logical.width()), devicePx(window, logical.height()));
}
QPoint devicePx(const QWidget *window, QPoint logical)
{
    return QPoint(devicePx(window, logical.x()), devicePx(window, logical.y()));
}

} // namespace

class Tst_realwindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void captionOnTheServer_data();
    void captionOnTheServer();
    void clientAreaSize();
    void sizeHintsPinTheSize_data();
    void sizeHintsPinTheSize();
    void noMaximiseButton_data();
    void noMaximiseButton();
    void iconSizes_data();
    void iconSizes();

    void startsCentredThenMovesToTheTop();
    void userMoveIsLeftAlone_data();
    void userMoveIsLeftAlone();

    void focusStartsOnCommand1();
    void tabOrder_data();
    void tabOrder();
    void tabWalkVisitsEveryStopOnce_data();
    void tabWalkVisitsEveryStopOnce();

    void captionFits_data();
    void captionFits();
    void everyCaptionIsMeasured();

    void frameLineCrossesNoControl_data();
    void frameLineCrossesNoControl();
    void qtTextsAreChinese();
    void scaledAsAsked();
    void pictureOfTheWindow();
    void longCountFits_data();
    void longCountFits();
    void longNameBoxFitsTheScreen_data();
    void longNameBoxFitsTheScreen();
    void dragOutOfALogCopies_data();
    void dragOutOfALogCopies();
    void copyReachesOtherPrograms_data();
    void copyReachesOtherPrograms();

private:
    // A fresh window, shown and, when asked, active.
    Form1 *showWindow(bool activate);
    QRect available() const { return QGuiApplication::primaryScreen()->availableGeometry(); }

    // The window of a row that shares it with the rest of its table (see sharesWindow()).
    static bool sharesWindow();
    Form1 *rowWindow(bool activate);

    ByteCount m_txCount;
    ByteCount m_rxCount;
    std::unique_ptr<WindowHarness> m_harness;
    QByteArray m_harnessTable; // the test function that showed it
};

void Tst_realwindow::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    // The X client tools the checks read the server with (x11-utils, xdotool).
    const ToolResult xp = runTool(QStringLiteral("xprop"),
                                  {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTED")});
    QVERIFY2(xp.ran, qPrintable(xp.error));
    const ToolResult xw = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-root")});
    QVERIFY2(xw.ran, qPrintable(xw.error));
    const ToolResult xd = runTool(QStringLiteral("xdotool"), {QStringLiteral("version")});
    QVERIFY2(xd.ran, qPrintable(xd.error));
#ifdef QUORLIN_X11_COPY
    // Before the window rig's start-up installs it with the shipped give-up.
    LargeCopyServer::install(kGiveUpMs);
#endif
    const QRect screen = available();
    QVERIFY2(screen.width() > kClientArea.width() && screen.height() > kClientArea.height(),
             qPrintable(QStringLiteral("the screen (%1 x %2) must be larger than the window")
                            .arg(screen.width())
                            .arg(screen.height())));
}

void Tst_realwindow::init()
{
    // A window shared by a table's rows goes with its table.
    if (!sharesWindow() || m_harnessTable != QTest::currentTestFunction())
        m_harness.reset();
}

void Tst_realwindow::cleanup()
{
    // Every other check, and the row after a failed one, starts on a fresh window.
    if (!sharesWindow() || QTest::currentTestFailed())
        m_harness.reset();
}

bool Tst_realwindow::sharesWindow()
{
    // Tables whose rows only read the window, or set the focus where they start, share one
    // window among their rows: showing a window costs more than such a row.
    const char *const tables[] = {"tabOrder", "captionFits", "frameLineCrossesNoControl"};
    return std::any_of(std::begin(tables), std::end(tables), [](const char *table) {
        return qstrcmp(QTest::currentTestFunction(), table) == 0;
    });
}

Form1 *Tst_realwindow::rowWindow(bool activate)
{
    return m_harness ? m_harness->window.get() : showWindow(activate);
}

Form1 *Tst_realwindow::showWindow(bool activate)
{
    // The window counts into the suite's counters, which a row may give counts no run
    // reaches by traffic.
    Form1::Services counts;
    counts.txCount = &m_txCount;
    counts.rxCount = &m_rxCount;
    m_harness = std::make_unique<WindowHarness>([] { return QList<PortEntry>(); }, counts);
    m_harnessTable = QTest::currentTestFunction();
    Form1 *w = m_harness->window.get();
    w->show();
    if (!QTest::qWaitForWindowExposed(w))
        return nullptr;
    if (activate) {
        w->activateWindow();
        if (!QTest::qWaitForWindowActive(w))
            return nullptr;
    }
    return w;
}

void Tst_realwindow::captionOnTheServer_data()
{
    QTest::addColumn<QString>("property");
    QTest::newRow("title bar text (_NET_WM_NAME)") << QStringLiteral("_NET_WM_NAME");
    QTest::newRow("legacy title (WM_NAME)") << QStringLiteral("WM_NAME");
}

void Tst_realwindow::captionOnTheServer()
{
    QFETCH(QString, property);
    Form1 *w = showWindow(false);
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), kCaption);
    const ToolResult r = xprop(w, {QStringLiteral("-notype"), property});
    QVERIFY2(r.ran, qPrintable(r.error));
    const QRegularExpression re(QRegularExpression::escape(property) +
                                QStringLiteral(" = \"(.*)\""));
    const QRegularExpressionMatch m = re.match(r.output);
    QVERIFY2(m.hasMatch(), qPrintable(r.output));
    QCOMPARE(m.captured(1), kCaption);
}

void Tst_realwindow::clientAreaSize()
{
    Form1 *w = showWindow(false);
    QVERIFY(w);
    QCOMPARE(w->geometry().size(), kClientArea);
    QTRY_COMPARE(serverGeometry(w).size(), devicePx(w, kClientArea));
}

void Tst_realwindow::sizeHintsPinTheSize_data()
{
    QTest::addColumn<QString>("hint");
    QTest::newRow("smallest size the desktop may give it")
        << QStringLiteral("program specified minimum size");
    QTest::newRow("largest size the desktop may give it")
        << QStringLiteral("program specified maximum size");
}

void Tst_realwindow::sizeHintsPinTheSize()
{
    QFETCH(QString, hint);
    Form1 *w = showWindow(false);
    QVERIFY(w);
    QCOMPARE(w->minimumSize(), kClientArea);
    QCOMPARE(w->maximumSize(), kClientArea);
    const ToolResult r = xprop(w, {QStringLiteral("WM_NORMAL_HINTS")});
    QVERIFY2(r.ran, qPrintable(r.error));
    QVERIFY2(hintSize(r.output, hint).isValid(), qPrintable(r.output));
    QCOMPARE(hintSize(r.output, hint), devicePx(w, kClientArea));
}

void Tst_realwindow::noMaximiseButton_data()
{
    QTest::addColumn<int>("field"); // 1: functions, 2: decorations
    QTest::addColumn<uint>("bit");
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("qtHint"); // the matching window flag

    QTest::newRow("desktop may not maximise it")
        << 1 << kMwmFuncMaximize << false << int(Qt::WindowMaximizeButtonHint);
    QTest::newRow("no maximise button in the title bar")
        << 2 << kMwmDecorMaximize << false << int(Qt::WindowMaximizeButtonHint);
    QTest::newRow("desktop may minimise it")
        << 1 << kMwmFuncMinimize << true << int(Qt::WindowMinimizeButtonHint);
    QTest::newRow("minimise button in the title bar")
        << 2 << kMwmDecorMinimize << true << int(Qt::WindowMinimizeButtonHint);
    QTest::newRow("desktop may close it")
        << 1 << kMwmFuncClose << true << int(Qt::WindowCloseButtonHint);
}

void Tst_realwindow::noMaximiseButton()
{
    QFETCH(int, field);
    QFETCH(uint, bit);
    QFETCH(bool, present);
    QFETCH(int, qtHint);
    Form1 *w = showWindow(false);
    QVERIFY(w);

    const ToolResult r = xprop(w, {QStringLiteral("-notype"), QStringLiteral("-f"),
                                   QStringLiteral("_MOTIF_WM_HINTS"), QStringLiteral("32c"),
                                   QStringLiteral("_MOTIF_WM_HINTS")});
    QVERIFY2(r.ran, qPrintable(r.error));
    const int eq = r.output.indexOf(QLatin1Char('='));
    QVERIFY2(eq > 0, qPrintable(QStringLiteral("no Motif hints on the window: ") + r.output));
    QList<uint> values;
    for (const QString &part : r.output.mid(eq + 1).split(QLatin1Char(','))) {
        bool ok = false;
        values.append(part.trimmed().toUInt(&ok, 0));
        QVERIFY2(ok, qPrintable(r.output));
    }
    QVERIFY2(values.size() >= 3, qPrintable(r.output));
    // A field the flags do not mark as given means "everything"; a field with its "all"
    // bit means everything except the bits listed.
    const uint given = field == 1 ? kMwmHintsFunctions : kMwmHintsDecorations;
    uint effective = ~0u;
    if (values.at(0) & given)
        effective = (values.at(field) & kMwmAll) ? ~values.at(field) : values.at(field);
    QVERIFY2(bool(effective & bit) == present,
             qPrintable(QStringLiteral("_MOTIF_WM_HINTS: %1").arg(r.output.trimmed())));
    QCOMPARE(w->windowFlags().testFlag(Qt::WindowType(qtHint)), present);
}

void Tst_realwindow::iconSizes_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("16 px, title bar") << 16;
    QTest::newRow("32 px, task switcher") << 32;
    QTest::newRow("48 px, large task switcher") << 48;
}

void Tst_realwindow::iconSizes()
{
    QFETCH(int, size);
    Form1 *w = showWindow(false);
    QVERIFY(w);
    const ToolResult r = xprop(w, {QStringLiteral("_NET_WM_ICON")});
    QVERIFY2(r.ran, qPrintable(r.error));
    QList<int> sizes;
    static const QRegularExpression re(QStringLiteral("Icon \\((\\d+) x (\\d+)\\)"));
    for (auto it = re.globalMatch(r.output); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(1) == m.captured(2))
            sizes.append(m.captured(1).toInt());
    }
    // The server holds the icon in device pixels: at twice the density the 16-pixel icon
    // goes out as 32 pixels. Qt does not enlarge an image, so where the size asked for is
    // above the window's largest image, that largest image is what must be there.
    const QList<QSize> images = w->windowIcon().availableSizes();
    QVERIFY(!images.isEmpty());
    const int largest = std::max_element(images.begin(), images.end(), [](QSize a, QSize b) {
                            return a.width() < b.width();
                        })->width();
    QVERIFY2(images.contains(QSize(size, size)), "the window's icon has no image of that size");
    const int expected = std::min(devicePx(w, size), std::max(largest, size));
    QVERIFY2(sizes.contains(expected),
             qPrintable(QStringLiteral("wanted %1 px; the window's icon has the square sizes [%2]")
                            .arg(expected)
                            .arg([&sizes] {
                                QStringList s;
                                for (int n : sizes)
                                    s.append(QString::number(n));
                                return s.join(QStringLiteral(", "));
                            }())));
}

void Tst_realwindow::startsCentredThenMovesToTheTop()
{
    m_harness = std::make_unique<WindowHarness>();
    Form1 *w = m_harness->window.get();
    w->show();
    // Read before the event loop turns, so the move to the top cannot have come yet.
    const QRect shown = w->frameGeometry();
    const QRect screen = available();
    const QPoint centred(screen.left() + (screen.width() - shown.width()) / 2,
                         screen.top() + (screen.height() - shown.height()) / 2);
    QVERIFY2(qAbs(shown.left() - centred.x()) <= 1 && qAbs(shown.top() - centred.y()) <= 1,
             qPrintable(QStringLiteral("shown at %1,%2; centred would be %3,%4")
                            .arg(shown.left())
                            .arg(shown.top())
                            .arg(centred.x())
                            .arg(centred.y())));
    QVERIFY(QTest::qWaitForWindowExposed(w));

    QTRY_COMPARE(w->frameGeometry().top(), QGuiApplication::primaryScreen()->geometry().top());
    QCOMPARE(w->frameGeometry().left(), shown.left());
    QCOMPARE(w->size(), kClientArea);
    // And the X server agrees.
    QTRY_COMPARE(serverGeometry(w).topLeft(), devicePx(w, QPoint(shown.left(), 0)));
}

void Tst_realwindow::userMoveIsLeftAlone_data()
{
    // Where the user drops the window, as a share of the room the screen leaves around it.
    QTest::addColumn<QPointF>("share");
    QTest::newRow("dragged down and right") << QPointF(0.75, 0.4);
    QTest::newRow("dragged back to the middle") << QPointF(0.5, 0.5);
    QTest::newRow("dragged to the left edge") << QPointF(0.0, 0.6);
    QTest::newRow("dragged along the top edge") << QPointF(0.2, 0.0);
}

void Tst_realwindow::userMoveIsLeftAlone()
{
    QFETCH(QPointF, share);
    Form1 *w = showWindow(false);
    QVERIFY(w);
    const QRect screen = available();
    const QPoint target(
        screen.left() + qRound(share.x() * (screen.width() - w->frameGeometry().width())),
        screen.top() + qRound(share.y() * (screen.height() - w->frameGeometry().height())));
    QTRY_COMPARE(w->frameGeometry().top(), QGuiApplication::primaryScreen()->geometry().top());

    // Another client moves the window, as the desktop does when the user drags it; the
    // X server counts device pixels.
    const QPoint onServer = devicePx(w, target);
    const ToolResult r = runTool(QStringLiteral("xdotool"),
                                 {QStringLiteral("windowmove"), windowId(w),
                                  QString::number(onServer.x()), QString::number(onServer.y())});
    QVERIFY2(r.ran, qPrintable(r.error));
    QTRY_COMPARE(w->frameGeometry().topLeft(), target);

    // Give a stray move every chance to come; the window must stay where it was put.
    QTest::qWait(5 * Form1::kTopMoveDelayMs);
    QCOMPARE(w->frameGeometry().topLeft(), target);
    QCOMPARE(serverGeometry(w).topLeft(), onServer);
}

void Tst_realwindow::focusStartsOnCommand1()
{
    Form1 *w = showWindow(true);
    QVERIFY(w);
    QTRY_COMPARE(focusedControl(), QStringLiteral("Command1"));
}

void Tst_realwindow::tabOrder_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("backwards");

    std::vector<TabStop> stops(std::begin(kTabStops), std::end(kTabStops));
    std::sort(stops.begin(), stops.end(),
              [](const TabStop &a, const TabStop &b) { return a.tab < b.tab; });
    const int n = int(stops.size());
    for (int i = 0; i < n; ++i) {
        const TabStop &a = stops[i];
        const TabStop &b = stops[(i + 1) % n];
        QTest::addRow("Tab: %s (%d) -> %s (%d)", a.name, a.tab, b.name, b.tab)
            << QString::fromLatin1(a.name) << QString::fromLatin1(b.name) << false;
    }
    for (int i = 0; i < n; ++i) {
        const TabStop &a = stops[(i + 1) % n];
        const TabStop &b = stops[i];
        QTest::addRow("Shift+Tab: %s (%d) -> %s (%d)", a.name, a.tab, b.name, b.tab)
            << QString::fromLatin1(a.name) << QString::fromLatin1(b.name) << true;
    }
}

void Tst_realwindow::tabOrder()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, backwards);
    Form1 *w = rowWindow(true);
    QVERIFY(w);
    QWidget *start = w->findChild<QWidget *>(from);
    QVERIFY2(start, qPrintable(QStringLiteral("no control ") + from));
    start->setFocus(backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    QTRY_COMPARE(focusedControl(), from);

    const QString before = shownText(start);
    QWidget *focused = QApplication::focusWidget();
    if (backwards)
        QTest::keyClick(focused, Qt::Key_Backtab, Qt::ShiftModifier);
    else
        QTest::keyClick(focused, Qt::Key_Tab);
    QTRY_COMPARE(focusedControl(), to);
    // The key moved the focus and typed nothing into the control it left.
    QCOMPARE(shownText(start), before);
}

void Tst_realwindow::tabWalkVisitsEveryStopOnce_data()
{
    QTest::addColumn<bool>("backwards");
    QTest::addColumn<QStringList>("expected");

    std::vector<TabStop> stops(std::begin(kTabStops), std::end(kTabStops));
    std::sort(stops.begin(), stops.end(),
              [](const TabStop &a, const TabStop &b) { return a.tab < b.tab; });
    QStringList forward;
    for (const TabStop &s : stops)
        forward.append(QString::fromLatin1(s.name));
    forward.append(forward.first()); // round to the start again
    QStringList backward = forward;
    std::reverse(backward.begin(), backward.end());

    QTest::newRow("Tab from Command1 visits all, skips Combo7, wraps") << false << forward;
    QTest::newRow("Shift+Tab from Command1 goes the other way") << true << backward;
}

void Tst_realwindow::tabWalkVisitsEveryStopOnce()
{
    QFETCH(bool, backwards);
    QFETCH(QStringList, expected);
    Form1 *w = showWindow(true);
    QVERIFY(w);
    QTRY_COMPARE(focusedControl(), QStringLiteral("Command1"));
    auto *input = m_harness->get<QPlainTextEdit>("Text1");
    const QString typed = input->toPlainText();

    QStringList seen{focusedControl()};
    for (int i = 1; i < expected.size(); ++i) {
        QWidget *focused = QApplication::focusWidget();
        QVERIFY(focused);
        QTest::keyClick(focused, backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                        backwards ? Qt::ShiftModifier : Qt::NoModifier);
        QCoreApplication::processEvents();
        seen.append(focusedControl());
    }
    QCOMPARE(seen.join(QStringLiteral(" ")), expected.join(QStringLiteral(" ")));
    // The keys only moved the focus: the input box got no tab characters.
    QCOMPARE(input->toPlainText(), typed);
}

void Tst_realwindow::captionFits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption"); // empty: the control's own caption

    for (const char *name : kCaptioned)
        QTest::newRow(name) << QString::fromLatin1(name) << QString();
    // The open button's caption once the port is open.
    QTest::newRow("Command1 while the port is open")
        << QStringLiteral("Command1") << QStringLiteral("关闭串口");
}

void Tst_realwindow::captionFits()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    Form1 *w = rowWindow(false);
    QVERIFY(w);
    QWidget *control = w->findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(QStringLiteral("no control ") + name));
    if (caption.isEmpty())
        caption = captionOf(control);
    QVERIFY2(!caption.isEmpty(), qPrintable(name + QStringLiteral(" shows no caption")));
    QVERIFY(textRoom(control).value_or(0) > 0);
    const QString misfit = textMisfit(control, caption);
    QVERIFY2(misfit.isEmpty(), qPrintable(name + QStringLiteral(": ") + misfit));
}

void Tst_realwindow::everyCaptionIsMeasured()
{
    // A caption-bearing control the table above does not name would escape the check:
    // measure those too, and list them, so the table is kept complete.
    Form1 *w = showWindow(false);
    QVERIFY(w);
    QStringList named;
    for (const char *name : kCaptioned)
        named.append(QString::fromLatin1(name));
    QStringList problems;
    const QList<QWidget *> all = w->findChildren<QWidget *>();
    for (QWidget *c : all) {
        if (!qobject_cast<QPushButton *>(c) && !qobject_cast<QLabel *>(c) &&
            !qobject_cast<QGroupBox *>(c) && !qobject_cast<QLineEdit *>(c))
            continue;
        const QString caption = captionOf(c);
        if (caption.isEmpty() || !c->isVisibleTo(w))
            continue;
        const QString misfit = textMisfit(c, caption);
        if (!misfit.isEmpty())
            problems.append(c->objectName() + QStringLiteral(": ") + misfit);
        else if (!named.contains(c->objectName()))
            problems.append(c->objectName() + QStringLiteral(" \"") + caption +
                            QStringLiteral("\" fits but is not in the caption table"));
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("\n"))));
}

void Tst_realwindow::frameLineCrossesNoControl_data()
{
    QTest::addColumn<QString>("name");
    for (int n = 1; n <= 14; ++n)
        QTest::addRow("Frame%d", n) << QStringLiteral("Frame%1").arg(n);
}

void Tst_realwindow::frameLineCrossesNoControl()
{
    QFETCH(QString, name);
    Form1 *w = rowWindow(false);
    QVERIFY(w);
    QGroupBox *frame = w->findChild<QGroupBox *>(name);
    QVERIFY2(frame, qPrintable(QStringLiteral("no frame ") + name));

    // The frame painted with its caption in the background colour, so that only the
    // border line shows where the caption is.
    const QImage painted = frameAlone(frame);
    const QPalette palette = frame->palette();
    const QRgb background = palette.color(frame->backgroundRole()).rgb();
    const QRgb inside = painted.pixel(frame->width() / 2, frame->height() / 2);
    QPalette hidden = palette;
    hidden.setColor(QPalette::WindowText, QColor(background));
    hidden.setColor(QPalette::Text, QColor(background));
    frame->setPalette(hidden);
    const QImage bare = frameAlone(frame);
    frame->setPalette(palette);

    const QRect caption = captionRect(frame);
    const int from = caption.isValid() ? caption.right() + 1 : 4;
    int top = -1;
    for (int y = 0; y < frame->height() / 2 && top < 0; ++y) {
        if (isLineRow(bare, y, from, background, inside))
            top = y;
    }
    QVERIFY2(top >= 0, qPrintable(name + QStringLiteral(": no top border line found")));
    int bottom = top;
    while (bottom + 1 < frame->height() && isLineRow(bare, bottom + 1, from, background, inside))
        ++bottom;

    // No control lies on or above the line.
    const QList<QWidget *> controls = frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *control : controls) {
        if (!control->isVisibleTo(frame))
            continue;
        QVERIFY2(bottom < control->y(),
                 qPrintable(QStringLiteral("%1: the top line (rows %2 to %3) crosses %4 (top %5)")
                                .arg(name)
                                .arg(top)
                                .arg(bottom)
                                .arg(control->objectName())
                                .arg(control->y())));
    }
    if (frame->title().isEmpty())
        return;

    // The caption sits on the line, and the line is broken under it.
    QVERIFY2(caption.top() <= top && bottom <= caption.bottom(),
             qPrintable(QStringLiteral("%1: caption rows %2 to %3, line rows %4 to %5")
                            .arg(name)
                            .arg(caption.top())
                            .arg(caption.bottom())
                            .arg(top)
                            .arg(bottom)));
    for (int y = top; y <= bottom; ++y) {
        for (int x = caption.left(); x <= caption.right(); ++x) {
            QVERIFY2(bare.pixel(x, y) == background || bare.pixel(x, y) == inside,
                     qPrintable(QStringLiteral("%1: the line runs under the caption at %2, %3")
                                    .arg(name)
                                    .arg(x)
                                    .arg(y)));
        }
    }
    // And the caption is drawn there.
    QVERIFY2(painted.copy(caption) != bare.copy(caption),
             qPrintable(name + QStringLiteral(": the caption is not drawn")));
}

void Tst_realwindow::qtTextsAreChinese()
{
    QVERIFY2(Startup::installQtTranslation(*qApp),
             "Qt's Simplified Chinese texts (qt6-translations-l10n) could not be loaded");
    Form1 *w = showWindow(true);
    QVERIFY(w);

    // A message box as the program shows it; a timer reads its button and closes it, so
    // the test never waits on the box.
    MessageBoxes boxes(w);
    QString okText = QStringLiteral("<no message box>");
    int polls = 0;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            QAbstractButton *ok = box->button(QMessageBox::Ok);
            okText = ok ? ok->text() : QStringLiteral("<no OK button>");
            box->done(QMessageBox::Ok);
            poll.stop();
        } else if (++polls > 250) {
            if (modal)
                modal->close();
            poll.stop();
        }
    });
    poll.start();
    boxes.warn(QStringLiteral("温馨提示！"), QStringLiteral("串口尚未连接！"));
    poll.stop();
    QCOMPARE(okText, QStringLiteral("确定"));

    // A text box's context menu.
    std::unique_ptr<QMenu> menu(m_harness->line("Text4")->createStandardContextMenu());
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts.append(action->text().section(u'\t', 0, 0)); // without the shortcut
    QVERIFY2(texts.contains(QStringLiteral("复制(&C)")), qPrintable(texts.join(u'|')));
    QVERIFY2(texts.contains(QStringLiteral("全选")), qPrintable(texts.join(u'|')));
}

void Tst_realwindow::scaledAsAsked()
{
    // A run that asks for a scale must get it, or the scaled run would check nothing new.
    Form1 *w = showWindow(false);
    QVERIFY(w);
    QCOMPARE(w->devicePixelRatioF(), askedScale());
    QCOMPARE(w->size(), kClientArea);
    const QSize expected(qRound(kClientArea.width() * askedScale()),
                         qRound(kClientArea.height() * askedScale()));
    QTRY_COMPARE(serverGeometry(w).size(), expected);
}

void Tst_realwindow::pictureOfTheWindow()
{
    // What the X server shows of the window, at full device resolution: the window drawn,
    // both logs in their light yellow, nothing cut off at the edges.
    Form1 *w = showWindow(true);
    QVERIFY(w);
    QTRY_COMPARE(w->frameGeometry().top(), QGuiApplication::primaryScreen()->geometry().top());
    QScreen *screen = w->screen();
    QVERIFY(screen);

    // The last paint may still be on its way to the server: look again until both logs
    // show (bounded), then judge the last picture taken.
    const QRgb logBackground = qRgb(255, 255, 192);
    QImage shot;
    QStringList wrong;
    const auto look = [&] {
        shot = screen->grabWindow(w->winId()).toImage();
        wrong.clear();
        if (shot.size() != devicePx(w, kClientArea)) {
            wrong.append(
                QStringLiteral("the picture is %1 x %2").arg(shot.width()).arg(shot.height()));
            return false;
        }
        for (const char *name : {"Text2", "Text3"}) {
            QWidget *log = w->findChild<QWidget *>(QLatin1String(name));
            if (!log) {
                wrong.append(QStringLiteral("no control ") + QLatin1String(name));
                continue;
            }
            // A point well inside the log, away from text and scroll bars.
            const QPoint inside = log->mapTo(w, QPoint(log->width() / 2, log->height() - 40));
            const QRgb seen = shot.pixel(devicePx(w, inside));
            if ((seen & 0xffffff) != (logBackground & 0xffffff))
                wrong.append(QStringLiteral("%1 at %2,%3 shows #%4, not the log's light yellow")
                                 .arg(QLatin1String(name))
                                 .arg(inside.x())
                                 .arg(inside.y())
                                 .arg(QString::number(seen & 0xffffff, 16)));
        }
        return wrong.isEmpty();
    };
    for (int i = 0; i < 50 && !look(); ++i)
        QTest::qWait(100);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
    QCOMPARE(shot.size(), devicePx(w, kClientArea));

    const QString dir = qEnvironmentVariable("QUORLIN_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QVERIFY(QDir().mkpath(dir));
        const QString file = askedScale() == 1.0
                                 ? QStringLiteral("quorlin-window.png")
                                 : QStringLiteral("quorlin-window-scale%1.png").arg(askedScale());
        const QString where = QDir(dir).filePath(file);
        QVERIFY2(shot.save(where), qPrintable(QStringLiteral("cannot write ") + where));
        qInfo("picture of the window: %s", qPrintable(where));
    }
}

void Tst_realwindow::longCountFits_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<quint64>("count");
    QTest::newRow("Label13 with 10 digits") << "Label13" << quint64(1234567890);
    QTest::newRow("Label11 with 10 digits") << "Label11" << quint64(1234567890);
    QTest::newRow("Label11 with 10 nines") << "Label11" << quint64(9999999999);
    QTest::newRow("Label13 with 20 digits") << "Label13" << quint64(12345678901234567890u);
    QTest::newRow("Label11 with 20 digits") << "Label11" << quint64(12345678901234567890u);
    QTest::newRow("Label11 at the largest count") << "Label11" << quint64(18446744073709551615u);
}

void Tst_realwindow::longCountFits()
{
    QFETCH(QString, label);
    QFETCH(quint64, count);
    Form1 *w = showWindow(false);
    QVERIFY(w);
    auto *shown = w->findChild<QLabel *>(label);
    QVERIFY(shown);
    const QRect place = shown->geometry();
    const QFont design = shown->font();
    const bool sent = label == QLatin1String("Label11");
    const QString prefix = sent ? QStringLiteral("发送：") : QStringLiteral("接收：");
    (sent ? m_txCount : m_rxCount).add(count);
    const QString expected = prefix + QString::number(count);
    QTRY_COMPARE(shown->text(), expected);

    // Every digit shows in the label's own place, on one line, in a readable font.
    QCOMPARE(shown->geometry(), place);
    QVERIFY(!shown->wordWrap());
    const QString misfit = textMisfit(shown, expected);
    QVERIFY2(misfit.isEmpty(), qPrintable(label + QStringLiteral(": ") + misfit));
    const QFont font = shown->font();
    QVERIFY2(font.stretch() == 0 || font.stretch() >= CountFont::kMinStretch,
             qPrintable(QStringLiteral("stretch %1").arg(font.stretch())));
    QVERIFY2(font.pointSizeF() >= design.pointSizeF() * CountFont::kMinSizeShare - 0.01,
             qPrintable(QStringLiteral("%1 pt").arg(font.pointSizeF())));
    QVERIFY(QFontMetrics(font).height() <= place.height());

    // Back at zero, the count is shown in the design font again.
    m_harness->click("Command27");
    QTRY_COMPARE(shown->text(), prefix + QStringLiteral("0"));
    QCOMPARE(shown->font(), design);
}

void Tst_realwindow::longNameBoxFitsTheScreen_data()
{
    QTest::addColumn<bool>("blanks");
    QTest::newRow("10,000 characters with blanks") << true;
    QTest::newRow("10,000 characters without blanks") << false;
}

void Tst_realwindow::longNameBoxFitsTheScreen()
{
    QFETCH(bool, blanks);
    Form1 *w = showWindow(false);
    QVERIFY(w);
    QString name;
    for (int i = 0; name.size() < 10000; ++i)
        name += (blanks ? QStringLiteral("port%1 ") : QStringLiteral("port%1")).arg(i);
    const QString text = QStringLiteral("串口 ") + name + QStringLiteral(" 不存在或被占用!");
    // The reason under the text names the device too.
    const QString reason = QStringLiteral("设备 /dev/") + name +
                           QStringLiteral(" 不存在（可能已被拔出，或名称有误）。\n"
                                          "系统信息：No such file or directory");

    std::unique_ptr<QMessageBox> box = MessageBoxes::build(
        QMessageBox::Critical, QStringLiteral("错误提示！"), text, QString(), w, reason);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    // What the X server holds: the whole box, its OK button included, on the screen.
    const QRect onServer = serverGeometry(box.get());
    QVERIFY2(onServer.isValid(), "xwininfo gave no geometry for the box");
    // The server counts device pixels, the screen's geometry is in the window's own.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize screenOnServer = devicePx(box.get(), screen.size());
    QVERIFY2(onServer.width() <= screenOnServer.width() &&
                 onServer.height() <= screenOnServer.height(),
             qPrintable(QStringLiteral("the box is %1 x %2 on a screen of %3 x %4")
                            .arg(onServer.width())
                            .arg(onServer.height())
                            .arg(screenOnServer.width())
                            .arg(screenOnServer.height())));
    QAbstractButton *ok = box->button(QMessageBox::Ok);
    QVERIFY(ok);
    const QRect okOnScreen(ok->mapToGlobal(QPoint(0, 0)), ok->size());
    QVERIFY2(screen.contains(okOnScreen), "the OK button lies off the screen");
    QCOMPARE(box->windowTitle(), QStringLiteral("错误提示！"));
    QVERIFY(box->text().contains(QChar(0x2026)));
    QVERIFY(box->informativeText().contains(QChar(0x2026)));
    QVERIFY(box->informativeText().endsWith(QStringLiteral("No such file or directory")));
    QCOMPARE(box->detailedText(), text + QStringLiteral("\n\n") + reason);
}

void Tst_realwindow::dragOutOfALogCopies_data()
{
    QTest::addColumn<QString>("log");
    QTest::newRow("send log onto WIFI名称") << QStringLiteral("Text2");
    QTest::newRow("receive log onto WIFI名称") << QStringLiteral("Text3");
}

// A person selects a whole log and drags it onto "WIFI名称" with the mouse (another client
// moves the X pointer): the box gets the first line, the log keeps everything.
void Tst_realwindow::dragOutOfALogCopies()
{
    QFETCH(QString, log);
    Form1 *w = showWindow(true);
    QVERIFY(w);
    // Where the window stays once it has gone to the top edge.
    QTRY_COMPARE(w->frameGeometry().top(), QGuiApplication::primaryScreen()->geometry().top());
    auto *view = m_harness->get<LogView>(qPrintable(log));
    const QString text = QStringLiteral("AT\r\n").repeated(5);
    view->appendText(text);
    view->flush();
    QLineEdit *box = m_harness->line("Text5");
    const QString boxBefore = box->text();

    QTextCursor first(view->document());
    const QPoint from = devicePx(w, view->viewport()->mapToGlobal(view->cursorRect(first).center() +
                                                                   QPoint(6, 0)));
    const QPoint to = devicePx(w, box->mapToGlobal(box->rect().center()));
    const QPoint mid = (from + to) / 2;
    const auto at = [](const QPoint &p) {
        return QStringList{QStringLiteral("mousemove"), QString::number(p.x()),
                           QString::number(p.y())};
    };
    const QString pause = QStringLiteral("sleep");
    // A click into the log, Ctrl+A, then the drag, all as X input.
    QProcess xdotool;
    QSignalSpy done(&xdotool, &QProcess::finished);
    xdotool.start(QStringLiteral("xdotool"),
                  at(from) + QStringList{"click", "1", pause, "0.2", "keydown", "Control_L", "key",
                                         "a", "keyup", "Control_L", pause, "0.2", "mousedown", "1",
                                         pause, "0.2"} +
                      at(from + QPoint(8, 8)) + QStringList{pause, "0.2"} + at(mid) +
                      QStringList{pause, "0.2"} + at(to) + QStringList{pause, "0.3", "mouseup", "1"});
    QVERIFY2(done.wait(10000), "xdotool did not end within 10 s");
    QTRY_COMPARE(box->text(), boxBefore + QStringLiteral("AT"));
    QCOMPARE(loggedText(*view), text);
}

void Tst_realwindow::copyReachesOtherPrograms_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("stopped"); // the reader stops past the give-up, then goes on
    // A short copy goes as Qt hands it over; more than LargeCopyServer::kPieceBytes goes in
    // pieces of that size.
    const QString utf8 = QStringLiteral("UTF8_STRING");
    QTest::newRow("short, Ctrl+C") << 20 << QStringLiteral("clipboard") << utf8 << false;
    QTest::newRow("3 MB, Ctrl+C") << 30000 << QStringLiteral("clipboard") << utf8 << false;
    QTest::newRow("3 MB, only selected") << 30000 << QStringLiteral("primary") << utf8 << false;
    QTest::newRow("3 MB, Ctrl+C, asked for as a MIME type")
        << 30000 << QStringLiteral("clipboard") << QStringLiteral("text/plain;charset=utf-8")
        << false;
    QTest::newRow("3 MB, the reader stopped past the give-up ends once it goes on")
        << 30000 << QStringLiteral("clipboard") << utf8 << true;
}

// Another X program (xclip) pastes what Ctrl+A, Ctrl+C copied of the receive log: exactly
// the bytes that came, in UTF-8, and again at a second paste.
void Tst_realwindow::copyReachesOtherPrograms()
{
    QFETCH(int, lines);
    QFETCH(QString, selection);
    QFETCH(QString, target);
    QFETCH(bool, stopped);
    Form1 *w = showWindow(false);
    QVERIFY(w);
    LogView *log = m_harness->receiveLog();
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("+IPD,0,%1:接收数据 %2\r\n").arg(i).arg(QString(60 + i % 40, 'x'));
    log->appendText(text);
    log->flush();
    log->setFocus();
    QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
    if (selection == QLatin1String("clipboard"))
        QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);

    const QByteArray expected = text.toUtf8();
    for (int paste = 1; paste <= 2; ++paste) {
        // The window serves the paste from its event loop while xclip reads.
        QProcess xclip;
        QSignalSpy finished(&xclip, &QProcess::finished);
        // Stopped as it has taken its first piece, until the window has given it up.
        const PieceWatch watch([&](int deleted) {
            if (stopped && deleted == 2)
                ::kill(pid_t(xclip.processId()), SIGSTOP);
        });
        xclip.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                              selection, QStringLiteral("-t"), target});
        QVERIFY2(xclip.waitForStarted(10000), "xclip could not be started (package xclip)");
        if (stopped) {
            QVERIFY2(!finished.wait(3 * kGiveUpMs), "xclip ended while stopped");
            ::kill(pid_t(xclip.processId()), SIGCONT);
        }
        QVERIFY2(finished.wait(10000), "xclip did not end within 10 s");
        QCOMPARE(xclip.exitCode(), 0);
        const QByteArray pasted = xclip.readAllStandardOutput();
        if (stopped) {
            // What it took before it was given up, then the end.
            QVERIFY2(pasted.size() > 0 && pasted.size() < expected.size() &&
                         expected.startsWith(pasted),
                     qPrintable(QStringLiteral("%1 bytes of %2").arg(pasted.size()).arg(expected.size())));
            break;
        }
        QVERIFY2(pasted == expected, qPrintable(QStringLiteral("paste %1 gave %2 bytes of %3")
                                                    .arg(paste)
                                                    .arg(pasted.size())
                                                    .arg(expected.size())));
    }
}

QTEST_MAIN(Tst_realwindow)
#include "tst_realwindow.moc"
