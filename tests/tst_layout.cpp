#include "composedlists.h"
#include "logolabel.h"
#include "logview.h"
#include "narrowarrowstyle.h"
#include "quorlinrelease.h"
#include "statusbarpanels.h"
#include "textfit.h"
#include "ui_form1.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyleOptionComboBox>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

constexpr int kTwipsPerPixel = 15;
// The fonts the layout is measured in: the window's CJK sans, and the serif that stands
// in for the send buttons' SimSun.
const QString kUiFamily = QStringLiteral("Noto Sans CJK SC");
const QString kSerifFallback = QStringLiteral("Noto Serif CJK SC");

int px(int twips)
{
    return qRound(double(twips) / kTwipsPerPixel);
}

QString blanks(int count, const char *rest)
{
    return QString(count, QLatin1Char(' ')) + QString::fromUtf8(rest);
}

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

// One frame or control as the window must show it: positions and sizes in twips from the
// top-left corner of its container; tab is the place in the Tab order, or -1 for what
// never takes the focus.
struct Control
{
    QString name;
    QString className;
    QString parent;
    QString text;
    int left;
    int top;
    int width;
    int height;
    int tab;
};

const QString kSampleSentence = u8("你好，Quorlin！Hello ESP8266, 这是一段发送测试文字。");

const QList<Control> &controls()
{
    static const QList<Control> table = {
        // The frames, in three columns.
        {"Frame3", "QGroupBox", "centralwidget", u8("设备通讯设置"), 120, 0, 5055, 1095, -1},
        {"Frame6", "QGroupBox", "centralwidget", u8("工作模式设置"), 120, 1200, 5055, 735, -1},
        {"Frame8", "QGroupBox", "centralwidget", u8("路由模式设置WIFI名称及密码"), 120, 2040, 5055,
         1335, -1},
        {"Frame11", "QGroupBox", "centralwidget", u8("AP模式连接WIFI"), 120, 3480, 5055, 1095, -1},
        {"Frame7", "QGroupBox", "centralwidget", u8("设置服务超时时间"), 120, 4680, 5055, 735, -1},
        {"Frame10", "QGroupBox", "centralwidget", u8("设置为客户端模式"), 120, 5520, 5055, 975, -1},
        {"Frame9", "QGroupBox", "centralwidget", u8("设置为服务器模式"), 120, 6600, 5055, 735, -1},
        {"Frame5", "QGroupBox", "centralwidget", u8("ESP8266常用命令"), 120, 7440, 5055, 2535, -1},
        {"Frame1", "QGroupBox", "centralwidget", u8("数据发送窗口"), 5280, 0, 5775, 7095, -1},
        {"Frame4", "QGroupBox", "centralwidget", QString(), 5280, 7200, 5775, 2775, -1},
        {"Frame2", "QGroupBox", "centralwidget", u8("数据接收窗口"), 11160, 0, 5775, 8175, -1},
        {"Frame12", "QGroupBox", "centralwidget", u8("请空数据"), 11160, 8280, 3015, 855, -1},
        {"Frame13", "QGroupBox", "centralwidget", u8("发送与接收计数"), 11160, 9240, 3015, 735, -1},
        {"Frame14", "QGroupBox", "centralwidget", u8("点击访问网店"), 14280, 8280, 2655, 1695, -1},

        // Port and line settings.
        {"Label19", "QLabel", "Frame3", u8("串口号："), 120, 280, 735, 255, -1},
        {"Combo1", "QComboBox", "Frame3", "COM1", 840, 240, 4095, 300, 3},
        {"Label18", "QLabel", "Frame3", u8("波特率："), 120, 720, 735, 255, -1},
        {"Combo2", "QComboBox", "Frame3", "115200", 840, 660, 975, 300, 2},
        {"Label14", "QLabel", "Frame3", u8("停止位："), 1920, 720, 735, 255, -1},
        {"Combo6", "QComboBox", "Frame3", "1", 2640, 660, 615, 300, 74},
        {"Command28", "QPushButton", "Frame3", u8("扫描"), 3360, 600, 615, 375, 76},
        {"Command1", "QPushButton", "Frame3", u8("打开串口"), 4080, 600, 855, 375, 1},

        // Working mode.
        {"Label1", "QLabel", "Frame6", u8("设置为："), 240, 320, 735, 255, -1},
        {"Combo3", "QComboBox", "Frame6", blanks(8, "Station模式"), 1080, 280, 2415, 300, 28},
        {"Command4", "QPushButton", "Frame6", u8("设置"), 3720, 240, 1095, 375, 16},

        // Soft access point.
        {"Label3", "QLabel", "Frame8", u8("WIFI名称："), 240, 310, 1335, 255, -1},
        {"Text5", "QLineEdit", "Frame8", "ESP8266", 1560, 240, 1935, 270, 32},
        {"Label4", "QLabel", "Frame8", u8("WIFI密码："), 240, 650, 1335, 255, -1},
        {"Text6", "QLineEdit", "Frame8", "7395184026", 1560, 600, 1935, 270, 35},
        {"Label5", "QLabel", "Frame8", u8("加密方式："), 240, 1000, 1335, 255, -1},
        {"Combo4", "QComboBox", "Frame8", blanks(8, "OPEN"), 1560, 960, 1935, 300, 38},
        {"Command14", "QPushButton", "Frame8", u8("设置"), 3720, 400, 1095, 615, 33},

        // Joining an access point.
        {"Label9", "QLabel", "Frame11", u8("WIFI名称："), 240, 325, 1335, 255, -1},
        {"Text10", "QLineEdit", "Frame11", "ESP8266", 1560, 300, 1935, 270, 55},
        {"Label10", "QLabel", "Frame11", u8("WIFI密码："), 240, 720, 1335, 255, -1},
        {"Text11", "QLineEdit", "Frame11", "7395184026", 1560, 720, 1935, 270, 58},
        {"Command21", "QPushButton", "Frame11", u8("连接"), 3720, 420, 1095, 375, 56},

        // Server time-out.
        {"Label2", "QLabel", "Frame7", u8("超时时间/秒："), 240, 320, 1335, 255, -1},
        {"Text4", "QLineEdit", "Frame7", "180", 1560, 290, 1935, 270, 30},
        {"Command13", "QPushButton", "Frame7", u8("设置"), 3720, 240, 1095, 375, 26},

        // Client.
        {"Label7", "QLabel", "Frame10", u8("服务器IP："), 240, 280, 975, 255, -1},
        {"Text8", "QLineEdit", "Frame10", "192.168.1.100", 1560, 240, 2415, 270, 45},
        {"Label12", "QLabel", "Frame10", u8("通讯协议："), 240, 660, 975, 255, -1},
        {"Combo5", "QComboBox", "Frame10", blanks(2, "TCP"), 1560, 600, 975, 300, 63},
        {"Label8", "QLabel", "Frame10", u8("端口号："), 2640, 660, 735, 255, -1},
        {"Text9", "QLineEdit", "Frame10", "5000", 3360, 600, 615, 270, 48},
        {"Command16", "QPushButton", "Frame10", u8("设置"), 4200, 240, 735, 495, 46},

        // Server.
        {"Label6", "QLabel", "Frame9", u8("服务器端口号："), 240, 325, 1335, 255, -1},
        {"Text7", "QLineEdit", "Frame9", "5000", 1560, 300, 1935, 270, 42},
        {"Command15", "QPushButton", "Frame9", u8("设置"), 3720, 240, 1095, 375, 40},

        // Common commands, five rows.
        {"Command5", "QPushButton", "Frame5", u8("测试AT"), 120, 240, 1095, 375, 17},
        {"Command3", "QPushButton", "Frame5", u8("复位重启"), 1320, 240, 1095, 375, 14},
        {"Command6", "QPushButton", "Frame5", u8("版本信息"), 2520, 240, 1095, 375, 18},
        {"Command7", "QPushButton", "Frame5", u8("扫描WIFI"), 3720, 240, 1215, 375, 19},
        {"Command10", "QPushButton", "Frame5", u8("连接状态"), 120, 600, 1095, 375, 22},
        {"Command11", "QPushButton", "Frame5", u8("设置单链接"), 1320, 600, 1095, 375, 23},
        {"Command12", "QPushButton", "Frame5", u8("设置多链接"), 2520, 600, 1095, 375, 24},
        {"Command8", "QPushButton", "Frame5", u8("断开WIFI"), 3720, 600, 1215, 375, 20},
        {"Command22", "QPushButton", "Frame5", u8("透传模式"), 120, 1080, 1095, 375, 60},
        {"Command23", "QPushButton", "Frame5", u8("非透传模式"), 1320, 1080, 1215, 375, 61},
        {"Command24", "QPushButton", "Frame5", u8("联网升级(需先连接公网)"), 2640, 1080, 2295, 375,
         64},
        {"Command18", "QPushButton", "Frame5", u8("查询模块自身IP"), 120, 1560, 1575, 375, 51},
        {"Command19", "QPushButton", "Frame5", u8("查询工作模式"), 1800, 1560, 1335, 375, 52},
        {"Command9", "QPushButton", "Frame5", u8("查询已接入设备IP"), 3240, 1560, 1695, 375, 21},
        {"Command20", "QPushButton", "Frame5", u8("查询服务超时时间"), 120, 2040, 1695, 375, 53},

        // Send log with the hidden port-name list on top of it.
        {"Text2", "LogView", "Frame1", QString(), 240, 360, 5295, 6495, 11},
        {"Combo7", "QComboBox", "Frame1", "Combo7", 1560, 480, 1935, 300, 75},

        // Free-text sending.
        {"Text1", "InputBox", "Frame4", kSampleSentence, 120, 360, 5535, 1695, 10},
        {"Command17", "QPushButton", "Frame4", u8("AT发送"), 2640, 2160, 1455, 495, 50},
        {"Command2", "QPushButton", "Frame4", u8("文本发送"), 4200, 2160, 1455, 495, 9},

        // Receive log.
        {"Text3", "LogView", "Frame2", QString(), 240, 360, 5295, 7575, 12},

        // Clearing and counting.
        {"Command25", "QPushButton", "Frame12", u8("清空发送数据"), 120, 320, 1335, 375, 66},
        {"Command26", "QPushButton", "Frame12", u8("清空接收数据"), 1560, 320, 1335, 375, 67},
        {"Label11", "QLabel", "Frame13", u8("发送：0"), 120, 240, 1335, 255, -1},
        {"Label13", "QLabel", "Frame13", u8("接收：0"), 120, 480, 1335, 255, -1},
        {"Command27", "QPushButton", "Frame13", u8("复位计数"), 1560, 240, 1335, 375, 69},

        // The shop link.
        {"Image1", "LogoLabel", "Frame14", QString(), 720, 360, 1200, 1200, -1},
    };
    return table;
}

// The controls that take the focus, in the order the Tab key visits them (Combo7 included:
// it sits in the chain, hidden).
QStringList tabChain()
{
    QList<Control> focusable;
    for (const Control &c : controls()) {
        if (c.tab >= 0)
            focusable.append(c);
    }
    std::sort(focusable.begin(), focusable.end(),
              [](const Control &a, const Control &b) { return a.tab < b.tab; });
    QStringList names;
    for (const Control &c : focusable)
        names.append(c.name);
    return names;
}

QSet<QString> controlNames()
{
    QSet<QString> names;
    for (const Control &c : controls())
        names.insert(c.name);
    return names;
}

// The form exactly as the window builds it.
struct Form
{
    Form()
    {
        ui.setupUi(&window);
        fillComposedLists(ui.Combo3, ui.Combo4, ui.Combo5);
        setupStatusBarPanels(ui.StatusBar1);
        narrowTheArrow(ui.Combo6);
    }

    // Shown offscreen, so that layouts, style sheets and fonts are applied for real.
    bool show()
    {
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }

    template <class T = QWidget> T *get(const QString &name) { return window.findChild<T *>(name); }

    QMainWindow window;
    Ui::Form1 ui;
};

QString shownText(QWidget *widget)
{
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        return box->title();
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<QPushButton *>(widget))
        return button->text();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        return combo->currentText();
    if (auto *text = qobject_cast<QPlainTextEdit *>(widget))
        return text->toPlainText();
    return QStringLiteral("<no text>");
}

} // namespace

class Tst_layout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void frameAndControl_data();
    void frameAndControl();
    void nothingBeyondTheTables();

    void listEntriesAndStartTexts_data();
    void listEntriesAndStartTexts();

    void focusChainFollowsTabColumn();
    void focusPolicy_data();
    void focusPolicy();

    void portNameListNeverShown();
    void multiLineBoxes_data();
    void multiLineBoxes();
    void sendButtonsFont_data();
    void sendButtonsFont();
    void window();
    void statusBarPanels_data();
    void statusBarPanels();
    void statusBarSpansTheBottom();

    void logoFillsItsArea();
    void logoClick_data();
    void logoClick();

    void listTextFits_data();
    void listTextFits();
};

void Tst_layout::initTestCase()
{
    // The window maps the classic Chinese serif of the two send buttons to the CJK serif
    // that ships with the desktop's fonts; measuring needs the same font.
    QFont::insertSubstitution(QStringLiteral("SimSun"), kSerifFallback);
    QVERIFY2(QFontInfo(QFont(kUiFamily, 9)).family() == kUiFamily,
             "Noto Sans CJK SC is missing (package fonts-noto-cjk): captions cannot be measured");
    QVERIFY2(QFontInfo(QFont(kSerifFallback, 14)).family() == kSerifFallback,
             "Noto Serif CJK SC is missing (package fonts-noto-cjk)");
}

void Tst_layout::frameAndControl_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    for (const Control &c : controls()) {
        QTest::newRow(qPrintable(c.name))
            << c.className << c.parent << c.text
            << QRect(px(c.left), px(c.top), px(c.width), px(c.height));
    }
}

void Tst_layout::frameAndControl()
{
    QFETCH(QString, className);
    QFETCH(QString, parent);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    const QString name = QString::fromLatin1(QTest::currentDataTag());

    Form form;
    QVERIFY(form.show());
    QWidget *widget = form.get(name);
    QVERIFY2(widget, qPrintable(name + QStringLiteral(" is not on the form")));
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QVERIFY(widget->parentWidget());
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(shownText(widget), text);
    QCOMPARE(widget->geometry(), geometry);
}

void Tst_layout::nothingBeyondTheTables()
{
    // Every named widget on the central widget and in the frames is one of the table's:
    // a stray copy or a misspelt name shows up here.
    Form form;
    const QSet<QString> known = controlNames();
    QStringList strays;
    QList<QWidget *> containers{form.ui.centralwidget};
    for (QGroupBox *box :
         form.ui.centralwidget->findChildren<QGroupBox *>(QString(), Qt::FindDirectChildrenOnly))
        containers.append(box);
    int found = 0;
    for (QWidget *container : containers) {
        for (QWidget *child :
             container->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            ++found;
            if (!known.contains(child->objectName()))
                strays.append(child->objectName() + QLatin1Char('/') +
                              QString::fromLatin1(child->metaObject()->className()));
        }
    }
    QVERIFY2(strays.isEmpty(), qPrintable(strays.join(QStringLiteral(", "))));
    QCOMPARE(found, int(controls().size()));
}

void Tst_layout::listEntriesAndStartTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("startText");

    QTest::newRow("port list starts empty showing COM1") << "Combo1" << QStringList() << "COM1";
    QTest::newRow("speeds, the fifth is 56700")
        << "Combo2" << QStringList{"2400", "4800", "9600", "19200", "56700", "115200"} << "115200";
    QTest::newRow("modes keep 8, 10 and 5 blanks")
        << "Combo3"
        << QStringList{blanks(8, "Station模式"), blanks(10, "AP模式"), blanks(5, "AP兼Station模式")}
        << blanks(8, "Station模式");
    QTest::newRow("encryptions keep 8, 8, 6, 6 and 4 blanks")
        << "Combo4"
        << QStringList{blanks(8, "OPEN"), blanks(8, "WEP"), blanks(6, "WPA_PSK"),
                       blanks(6, "WPA2_PSK"), blanks(4, "WPA_WPA2_PSK")}
        << blanks(8, "OPEN");
    QTest::newRow("protocols keep 2 blanks")
        << "Combo5" << QStringList{blanks(2, "TCP"), blanks(2, "UDP")} << blanks(2, "TCP");
    QTest::newRow("stop bits") << "Combo6" << QStringList{"1", "1.5", "2"} << "1";
    QTest::newRow("port-name list starts empty showing its name")
        << "Combo7" << QStringList() << "Combo7";
}

void Tst_layout::listEntriesAndStartTexts()
{
    QFETCH(QString, name);
    QFETCH(QStringList, entries);
    QFETCH(QString, startText);

    Form form;
    auto *combo = form.get<QComboBox>(name);
    QVERIFY(combo);
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->insertPolicy(), QComboBox::NoInsert);
    QStringList actual;
    for (int i = 0; i < combo->count(); ++i)
        actual.append(combo->itemText(i));
    QCOMPARE(actual, entries);
    QCOMPARE(combo->currentText(), startText);
    QVERIFY(combo->lineEdit());
    QCOMPARE(combo->lineEdit()->text(), startText);

    // Typing an unknown text and confirming it must not grow the list.
    combo->lineEdit()->setText(QStringLiteral("typed"));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    QCOMPARE(combo->count(), int(entries.size()));

    // A click on the drop-down arrow, where the list's style draws it, opens the entries
    // (the stop-bit list's arrow is a narrow one of its own). An empty list opens nothing.
    if (combo->isHidden() || entries.isEmpty())
        return;
    QVERIFY(form.show());
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    const QRect arrow = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxArrow, combo);
    QVERIFY2(combo->rect().contains(arrow.center()), qPrintable(name));
    QTest::mouseClick(combo, Qt::LeftButton, Qt::NoModifier, arrow.center());
    QTRY_VERIFY2_WITH_TIMEOUT(combo->view()->isVisible(), "the drop-down did not open", 2000);
    combo->hidePopup();
}

void Tst_layout::focusChainFollowsTabColumn()
{
    Form form;
    const QStringList expected = tabChain();
    const QSet<QString> names(expected.begin(), expected.end());
    QStringList chain;
    QWidget *start = form.ui.Command1;
    QWidget *w = start;
    for (int guard = 0; guard < 10000; ++guard) {
        if (names.contains(w->objectName()) && (w->focusPolicy() & Qt::TabFocus))
            chain.append(w->objectName());
        w = w->nextInFocusChain();
        if (w == start)
            break;
    }
    QCOMPARE(chain, expected);
}

void Tst_layout::focusPolicy_data()
{
    QTest::addColumn<bool>("takesTab");
    for (const Control &c : controls())
        QTest::newRow(qPrintable(c.name)) << (c.tab >= 0);
}

void Tst_layout::focusPolicy()
{
    QFETCH(bool, takesTab);
    Form form;
    QWidget *widget = form.get(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);
    QCOMPARE(bool(widget->focusPolicy() & Qt::TabFocus), takesTab);
    if (!takesTab)
        QVERIFY2(widget->focusPolicy() == Qt::NoFocus, "frames, labels and the logo never focus");
}

void Tst_layout::portNameListNeverShown()
{
    Form form;
    QVERIFY(form.show());
    QVERIFY(form.ui.Combo7->isHidden());
    QVERIFY(!form.ui.Combo7->isVisible());
    // The send log under it is shown.
    QVERIFY(form.ui.Text2->isVisible());
    // Filling it, as the port scan does, does not bring it up.
    form.ui.Combo7->addItem(QStringLiteral("COM3"));
    form.ui.Combo7->setCurrentIndex(0);
    QVERIFY(!form.ui.Combo7->isVisible());
}

void Tst_layout::multiLineBoxes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("wraps");
    QTest::addColumn<Qt::ScrollBarPolicy>("scrollBars");
    QTest::addColumn<bool>("logColours");

    QTest::newRow("send log: no wrap, both bars, yellow")
        << "Text2" << false << Qt::ScrollBarAlwaysOn << true;
    QTest::newRow("receive log: no wrap, both bars, yellow")
        << "Text3" << false << Qt::ScrollBarAlwaysOn << true;
    QTest::newRow("input box: wraps at its width, no bars")
        << "Text1" << true << Qt::ScrollBarAlwaysOff << false;
}

void Tst_layout::multiLineBoxes()
{
    QFETCH(QString, name);
    QFETCH(bool, wraps);
    QFETCH(Qt::ScrollBarPolicy, scrollBars);
    QFETCH(bool, logColours);

    Form form;
    QVERIFY(form.show());
    auto *box = form.get<QPlainTextEdit>(name);
    QVERIFY(box);
    QCOMPARE(box->horizontalScrollBarPolicy(), scrollBars);
    QCOMPARE(box->verticalScrollBarPolicy(), scrollBars);
    const bool barsShown = scrollBars == Qt::ScrollBarAlwaysOn;
    QCOMPARE(box->horizontalScrollBar()->isVisible(), barsShown);
    QCOMPARE(box->verticalScrollBar()->isVisible(), barsShown);
    // The logs are read and copied, never edited; the input box is typed into.
    QCOMPARE(box->isReadOnly(), logColours);
    QVERIFY(box->tabChangesFocus());

    if (logColours) {
        QCOMPARE(box->palette().color(QPalette::Active, QPalette::Base), QColor(255, 255, 192));
        QCOMPARE(box->palette().color(QPalette::Inactive, QPalette::Base), QColor(255, 255, 192));
        QVERIFY(!box->isUndoRedoEnabled());
        QVERIFY(qobject_cast<LogView *>(box));
    }

    // One long line: wrapped into several lines in the input box, kept whole in the logs.
    box->setPlainText(QString(400, QLatin1Char('W')));
    QCoreApplication::processEvents();
    QTextLayout *layout = box->document()->firstBlock().layout();
    QVERIFY(layout);
    QCOMPARE(layout->lineCount() > 1, wraps);
}

void Tst_layout::sendButtonsFont_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("AT payload button") << "Command17";
    QTest::newRow("plain text button") << "Command2";
}

void Tst_layout::sendButtonsFont()
{
    QFETCH(QString, name);
    Form form;
    QVERIFY(form.show());
    QWidget *button = form.get(name);
    QVERIFY(button);
    const QFont font = button->font();
    QCOMPARE(font.family(), QStringLiteral("SimSun"));
    QCOMPARE(font.pointSizeF(), 14.25);
    QCOMPARE(font.weight(), QFont::Normal);
    QCOMPARE(font.italic(), false);
    // Drawn with the serif the name maps to, not whatever the font lookup falls back on.
    QCOMPARE(QFontInfo(font).family(), kSerifFallback);
    // The rest of the window keeps its own font.
    QCOMPARE(form.ui.Command1->font().family(), kUiFamily);
}

void Tst_layout::window()
{
    Form form;
    QVERIFY(form.show());
    QCOMPARE(form.window.windowTitle(), QStringLiteral("Quorlin-v1.1"));
    const QSize client(px(17055), px(10395));
    QCOMPARE(client, QSize(1137, 693));
    QCOMPARE(form.window.minimumSize(), client);
    QCOMPARE(form.window.maximumSize(), client);
    QCOMPARE(form.window.size(), client);
    form.window.resize(1400, 900);
    QCOMPARE(form.window.size(), client);
    QCOMPARE(form.ui.centralwidget->pos(), QPoint(0, 0));
    QCOMPARE(form.window.font().family(), kUiFamily);
    QCOMPARE(QFontInfo(form.ui.Label19->font()).family(), kUiFamily);
    // The lowest frames end above the status bar.
    for (QGroupBox *box : form.ui.centralwidget->findChildren<QGroupBox *>())
        QVERIFY2(box->geometry().bottom() < form.ui.StatusBar1->geometry().top(),
                 qPrintable(box->objectName()));

    const QList<QSize> sizes = form.window.windowIcon().availableSizes();
    for (int side : {16, 32, 48})
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
}

void Tst_layout::statusBarPanels_data()
{
    QTest::addColumn<int>("widthTwips");
    QTest::addColumn<QString>("text"); // the release's (packaging/release.cmake)
    QTest::newRow("Panel1") << 2480 << QStringLiteral(QUORLIN_RELEASE_MAKER);
    QTest::newRow("Panel2") << 7880 << QString();
    QTest::newRow("Panel3") << 3440 << QStringLiteral(QUORLIN_RELEASE_SUPPORT);
    QTest::newRow("Panel4") << 3140 << QStringLiteral(QUORLIN_RELEASE_AUTHOR);
}

void Tst_layout::statusBarPanels()
{
    QFETCH(int, widthTwips);
    QFETCH(QString, text);
    Form form;
    QVERIFY(form.show());
    auto *panel =
        form.ui.StatusBar1->findChild<QLabel *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(panel);
    QCOMPARE(panel->width(), px(widthTwips));
    QCOMPARE(panel->text(), text);
    // Whole inside the window.
    const QRect inWindow(panel->mapTo(&form.window, QPoint(0, 0)), panel->size());
    QVERIFY2(
        form.window.rect().contains(inWindow),
        qPrintable(QStringLiteral("panel at %1..%2").arg(inWindow.left()).arg(inWindow.right())));
}

void Tst_layout::statusBarSpansTheBottom()
{
    Form form;
    QVERIFY(form.show());
    QStatusBar *bar = form.ui.StatusBar1;
    QCOMPARE(bar->geometry(), QRect(0, 693 - px(375), 1137, px(375)));
    QVERIFY(!bar->isSizeGripEnabled());
    int right = -1;
    for (const char *name : {"Panel1", "Panel2", "Panel3", "Panel4"}) {
        auto *panel = bar->findChild<QLabel *>(QString::fromLatin1(name));
        QVERIFY(panel);
        const int left = panel->mapTo(bar, QPoint(0, 0)).x();
        QVERIFY2(left > right, name); // left to right, not overlapping
        right = left + panel->width() - 1;
    }
}

void Tst_layout::logoFillsItsArea()
{
    Form form;
    QVERIFY(form.show());
    LogoLabel *logo = form.ui.Image1;
    const QPixmap picture = logo->pixmap();
    QVERIFY2(!picture.isNull(), "the logo did not load from the resources");
    QCOMPARE(picture.size(), QSize(327, 321));
    QVERIFY(logo->hasScaledContents());

    // What is on screen is the picture stretched over the whole 80 x 80 area.
    const QImage shown = logo->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(px(1200), px(1200)));
    const QImage expected =
        picture.toImage()
            .scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const QColor a = shown.pixelColor(x, y);
            const QColor b = expected.pixelColor(x, y);
            worst = std::max({worst, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                              std::abs(a.blue() - b.blue())});
        }
    }
    QVERIFY2(worst <= 8, qPrintable(QStringLiteral("largest channel difference %1").arg(worst)));
}

void Tst_layout::logoClick_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("releaseAt");
    QTest::addColumn<int>("clicks");

    const QPoint centre(px(1200) / 2, px(1200) / 2);
    QTest::newRow("left click opens the shop") << Qt::LeftButton << centre << 1;
    QTest::newRow("right click does nothing") << Qt::RightButton << centre << 0;
    QTest::newRow("middle click does nothing") << Qt::MiddleButton << centre << 0;
    QTest::newRow("dragged off before release cancels") << Qt::LeftButton << QPoint(-10, -10) << 0;
}

void Tst_layout::logoClick()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, releaseAt);
    QFETCH(int, clicks);

    Form form;
    QVERIFY(form.show());
    QSignalSpy spy(form.ui.Image1, &LogoLabel::clicked);
    const QPoint centre = form.ui.Image1->rect().center();
    QTest::mousePress(form.ui.Image1, button, Qt::NoModifier, centre);
    QTest::mouseRelease(form.ui.Image1, button, Qt::NoModifier, releaseAt);
    QCOMPARE(spy.count(), clicks);
    QCOMPARE(QApplication::focusWidget() == form.ui.Image1, false);
}

namespace {

// Rows for the start text and every entry of the visible lists. (The captions of frames,
// buttons, labels and text boxes are measured on the real window, in its own suite.)
void addListTextRows()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    Form form;
    for (QComboBox *combo : form.window.findChildren<QComboBox *>()) {
        const QString name = combo->objectName();
        if (combo->isHidden() || name.isEmpty())
            continue;
        QTest::addRow("%s start text", qPrintable(name)) << name << combo->currentText();
        for (int i = 0; i < combo->count(); ++i)
            QTest::addRow("%s entry %d", qPrintable(name), i) << name << combo->itemText(i);
    }
}

void checkTextFits(const QString &name, const QString &text)
{
    Form form;
    QVERIFY(form.show());
    QWidget *widget = form.get(name);
    QVERIFY(widget);
    widget->ensurePolished();
    QVERIFY(textRoom(widget).value_or(0) > 0);
    const QString misfit = textMisfit(widget, text);
    QVERIFY2(misfit.isEmpty(), qPrintable(name + QStringLiteral(": ") + misfit));
}

} // namespace

void Tst_layout::listTextFits_data()
{
    addListTextRows();
}

void Tst_layout::listTextFits()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    checkTextFits(name, text);
}

QTEST_MAIN(Tst_layout)
#include "tst_layout.moc"
