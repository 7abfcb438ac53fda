// The window on a real X server (run under xvfb-run on the xcb platform): what the server
// holds for its caption, size, size hints and decorations, where it appears and where it
// goes, the Tab order, and whether every caption fits its control with the font in use.
// The X side is read with xprop, xwininfo and xdotool (x11-utils, xdotool).

#include "textfit.h"
#include "windowharness.h"

#include <QApplication>
#include <QGroupBox>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

const QSize kClientArea(1137, 693);
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

// Every control that shows a caption: the buttons, the labels, the captioned frames and
// the status bar's text panels.
const char *const kCaptioned[] = {
    "Command1",  "Command2",  "Command3",  "Command4",  "Command5",  "Command6",  "Command7",
    "Command8",  "Command9",  "Command10", "Command11", "Command12", "Command13", "Command14",
    "Command15", "Command16", "Command17", "Command18", "Command19", "Command20", "Command21",
    "Command22", "Command23", "Command24", "Command25", "Command26", "Command27", "Command28",
    "Label1",    "Label2",    "Label3",    "Label4",    "Label5",    "Label6",    "Label7",
    "Label8",    "Label9",    "Label10",   "Label11",   "Label12",   "Label13",   "Label14",
    "Label18",   "Label19",   "Frame1",    "Frame2",    "Frame3",    "Frame5",    "Frame6",
    "Frame7",    "Frame8",    "Frame9",    "Frame10",   "Frame11",   "Frame12",   "Frame13",
    "Frame14",   "Panel1",    "Panel3",    "Panel4",
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
    return {};
}

// Reads "<what>: W by H" out of xprop's WM_NORMAL_HINTS lines.
QSize hintSize(const QString &hints, const QString &what)
{
    const QRegularExpression re(QRegularExpression::escape(what) +
                                QStringLiteral(":\\s*(\\d+) by (\\d+)"));
    const QRegularExpressionMatch m = re.match(hints);
    return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
}

} // namespace

class Tst_realwindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
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
    void tabWalkVisitsEveryStopOnce();

    void captionFits_data();
    void captionFits();
    void everyCaptionIsMeasured();

private:
    // A fresh window, shown and, when asked, active.
    Form1 *showWindow(bool activate);
    QRect available() const { return QGuiApplication::primaryScreen()->availableGeometry(); }

    std::unique_ptr<WindowHarness> m_harness;
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
    const QRect screen = available();
    QVERIFY2(screen.width() > kClientArea.width() && screen.height() > kClientArea.height(),
             qPrintable(QStringLiteral("the screen (%1 x %2) must be larger than the window")
                            .arg(screen.width())
                            .arg(screen.height())));
}

void Tst_realwindow::cleanup()
{
    m_harness.reset();
}

Form1 *Tst_realwindow::showWindow(bool activate)
{
    m_harness = std::make_unique<WindowHarness>();
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
    QTRY_COMPARE(serverGeometry(w).size(), kClientArea);
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
    QCOMPARE(hintSize(r.output, hint), kClientArea);
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
    QVERIFY2(sizes.contains(size),
             qPrintable(QStringLiteral("the window's icon has the square sizes [%1]").arg([&sizes] {
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
    QTRY_COMPARE(serverGeometry(w).topLeft(), QPoint(shown.left(), 0));
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

    // Another client moves the window, as the desktop does when the user drags it.
    const ToolResult r = runTool(QStringLiteral("xdotool"),
                                 {QStringLiteral("windowmove"), windowId(w),
                                  QString::number(target.x()), QString::number(target.y())});
    QVERIFY2(r.ran, qPrintable(r.error));
    QTRY_COMPARE(w->frameGeometry().topLeft(), target);

    // Give a stray move every chance to come; the window must stay where it was put.
    QTest::qWait(5 * Form1::kTopMoveDelayMs);
    QCOMPARE(w->frameGeometry().topLeft(), target);
    QCOMPARE(serverGeometry(w).topLeft(), target);
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
    Form1 *w = showWindow(true);
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

void Tst_realwindow::tabWalkVisitsEveryStopOnce()
{
    Form1 *w = showWindow(true);
    QVERIFY(w);
    QTRY_COMPARE(focusedControl(), QStringLiteral("Command1"));

    std::vector<TabStop> stops(std::begin(kTabStops), std::end(kTabStops));
    std::sort(stops.begin(), stops.end(),
              [](const TabStop &a, const TabStop &b) { return a.tab < b.tab; });
    QStringList expected;
    for (const TabStop &s : stops)
        expected.append(QString::fromLatin1(s.name));
    expected.append(expected.first()); // round to the start again

    QStringList seen{focusedControl()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCoreApplication::processEvents();
        seen.append(focusedControl());
    }
    QCOMPARE(seen.join(QStringLiteral(" ")), expected.join(QStringLiteral(" ")));
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
    Form1 *w = showWindow(false);
    QVERIFY(w);
    QWidget *control = w->findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(QStringLiteral("no control ") + name));
    if (caption.isEmpty())
        caption = captionOf(control);
    QVERIFY2(!caption.isEmpty(), qPrintable(name + QStringLiteral(" shows no caption")));
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
            !qobject_cast<QGroupBox *>(c))
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

QTEST_MAIN(Tst_realwindow)
#include "tst_realwindow.moc"
