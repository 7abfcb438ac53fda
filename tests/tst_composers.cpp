#include "composers.h"
#include "wirecodec.h"

#include <QtTest>

// Every command a button composes from the window's controls: its exact text and the
// bytes its line (text + CR LF) takes on the wire.
class Tst_composers : public QObject
{
    Q_OBJECT
private slots:
    void composedLine_data();
    void composedLine();
    void lineEndInTypedTextSendsNothing_data();
    void lineEndInTypedTextSendsNothing();
};

namespace {

const QString kDefaultName = QStringLiteral("ESP8266");
const QString kDefaultPassword = QStringLiteral("7395184026");

// Runs the composer a row names with the row's inputs.
std::optional<QString> compose(const QString &composer, const QString &a, const QString &b,
                               const QString &c)
{
    if (composer == QLatin1String("workingMode"))
        return Composers::workingMode(a);
    if (composer == QLatin1String("serverTimeout"))
        return Composers::serverTimeout(a);
    if (composer == QLatin1String("joinAccessPoint"))
        return Composers::joinAccessPoint(a, b);
    if (composer == QLatin1String("softAccessPoint"))
        return Composers::softAccessPoint(a, b, c);
    if (composer == QLatin1String("server"))
        return Composers::server(a);
    if (composer == QLatin1String("client"))
        return Composers::client(a, b, c);
    if (composer == QLatin1String("sendAnnouncement"))
        return Composers::sendAnnouncement(a.toLongLong());
    qFatal("unknown composer %s", qPrintable(composer));
    return std::nullopt;
}

} // namespace

void Tst_composers::composedLine_data()
{
    QTest::addColumn<QString>("composer");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("c");
    QTest::addColumn<bool>("sends");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("lineBytes"); // text + CR LF on the wire

    const QString none;

    // Working mode (Combo3).
    QTest::newRow("mode: station entry with 8 blanks")
        << "workingMode" << QStringLiteral("        Station模式") << none << none << true
        << "AT+CWMODE=1" << 13;
    QTest::newRow("mode: AP entry with 10 blanks")
        << "workingMode" << QStringLiteral("          AP模式") << none << none << true
        << "AT+CWMODE=2" << 13;
    QTest::newRow("mode: AP and station entry with 5 blanks")
        << "workingMode" << QStringLiteral("     AP兼Station模式") << none << none << true
        << "AT+CWMODE=3" << 13;
    QTest::newRow("mode: station typed without its blanks sends nothing")
        << "workingMode" << QStringLiteral("Station模式") << none << none << false << none << 0;
    QTest::newRow("mode: AP typed without its blanks sends nothing")
        << "workingMode" << QStringLiteral("AP模式") << none << none << false << none << 0;
    QTest::newRow("mode: AP and station typed without its blanks sends nothing")
        << "workingMode" << QStringLiteral("AP兼Station模式") << none << none << false << none << 0;
    QTest::newRow("mode: one blank short sends nothing")
        << "workingMode" << QStringLiteral("       Station模式") << none << none << false << none
        << 0;
    QTest::newRow("mode: trailing blank sends nothing")
        << "workingMode" << QStringLiteral("        Station模式 ") << none << none << false << none
        << 0;
    QTest::newRow("mode: other case sends nothing")
        << "workingMode" << QStringLiteral("        station模式") << none << none << false << none
        << 0;
    QTest::newRow("mode: empty list text sends nothing")
        << "workingMode" << QString() << none << none << false << none << 0;

    // Server time-out (Text4).
    QTest::newRow("timeout: default 180 is a 15-byte line")
        << "serverTimeout" << QStringLiteral("180") << none << none << true << "AT+CIPSTO=180"
        << 15;
    QTest::newRow("timeout: empty box still sends, 12 bytes")
        << "serverTimeout" << QString() << none << none << true << "AT+CIPSTO=" << 12;
    QTest::newRow("timeout: blanks around the number are kept, 16 bytes")
        << "serverTimeout" << QStringLiteral(" 42 ") << none << none << true << "AT+CIPSTO= 42 "
        << 16;
    QTest::newRow("timeout: Chinese character counts two bytes")
        << "serverTimeout" << QStringLiteral("三") << none << none << true
        << QStringLiteral("AT+CIPSTO=三") << 14;
    QTest::newRow("timeout: not a number is sent as typed")
        << "serverTimeout" << QStringLiteral("-7x") << none << none << true << "AT+CIPSTO=-7x"
        << 15;

    // Joining an access point (Text10, Text11).
    QTest::newRow("join: default texts make a 33-byte line")
        << "joinAccessPoint" << kDefaultName << kDefaultPassword << none << true
        << R"(AT+CWJAP="ESP8266","7395184026")" << 33;
    QTest::newRow("join: both boxes empty give empty quotes, 16 bytes")
        << "joinAccessPoint" << QString() << QString() << none << true << R"(AT+CWJAP="","")" << 16;
    QTest::newRow("join: quote in the password goes unescaped")
        << "joinAccessPoint" << kDefaultName << QStringLiteral(R"(ab"c)") << none << true
        << R"(AT+CWJAP="ESP8266","ab"c")" << 27;
    QTest::newRow("join: comma and backslash in the name go as typed")
        << "joinAccessPoint" << QStringLiteral(R"(a,b\)") << QStringLiteral("pw") << none << true
        << R"(AT+CWJAP="a,b\","pw")" << 22;
    QTest::newRow("join: Chinese name counts two bytes a character")
        << "joinAccessPoint" << QStringLiteral("客厅") << QStringLiteral("pw") << none << true
        << QStringLiteral(R"(AT+CWJAP="客厅","pw")") << 22;
    QTest::newRow("join: blanks around the name are kept")
        << "joinAccessPoint" << QStringLiteral(" n ") << QString() << none << true
        << R"(AT+CWJAP=" n ","")" << 19;

    // Soft access point (Text5, Text6, Combo4); channel always 11.
    const char *const codes[][2] = {
        {"        OPEN", "0"},   {"        WEP", "1"},      {"      WPA_PSK", "2"},
        {"      WPA2_PSK", "3"}, {"    WPA_WPA2_PSK", "4"},
    };
    for (const auto &code : codes) {
        const QByteArray name = "soft AP: default texts with '" + QByteArray(code[0]).trimmed() +
                                "' give code " + code[1] + ", 38 bytes";
        QTest::newRow(name.constData())
            << "softAccessPoint" << kDefaultName << kDefaultPassword << QString(code[0]) << true
            << QStringLiteral(R"(AT+CWSAP="ESP8266","7395184026",11,)") + code[1] << 38;
    }
    QTest::newRow("soft AP: empty name and password are sent, 21 bytes")
        << "softAccessPoint" << QString() << QString() << QStringLiteral("        OPEN") << true
        << R"(AT+CWSAP="","",11,0)" << 21;
    QTest::newRow("soft AP: two Chinese characters in the name take 4 bytes")
        << "softAccessPoint" << QStringLiteral("客厅") << kDefaultPassword
        << QStringLiteral("        OPEN") << true
        << QStringLiteral(R"(AT+CWSAP="客厅","7395184026",11,0)") << 35;
    QTest::newRow("soft AP: OPEN typed without blanks sends nothing")
        << "softAccessPoint" << kDefaultName << kDefaultPassword << QStringLiteral("OPEN") << false
        << none << 0;
    QTest::newRow("soft AP: WPA_WPA2_PSK with 8 blanks instead of 4 sends nothing")
        << "softAccessPoint" << kDefaultName << kDefaultPassword
        << QStringLiteral("        WPA_WPA2_PSK") << false << none << 0;
    QTest::newRow("soft AP: WEP with 6 blanks sends nothing")
        << "softAccessPoint" << kDefaultName << kDefaultPassword << QStringLiteral("      WEP")
        << false << none << 0;
    QTest::newRow("soft AP: bare code digit sends nothing")
        << "softAccessPoint" << kDefaultName << kDefaultPassword << QStringLiteral("0") << false
        << none << 0;

    // Server (Text7).
    QTest::newRow("server: default port 5000 makes a 21-byte line")
        << "server" << QStringLiteral("5000") << none << none << true << "AT+CIPSERVER=1,5000"
        << 21;
    QTest::newRow("server: empty port still sends, 17 bytes")
        << "server" << QString() << none << none << true << "AT+CIPSERVER=1," << 17;
    QTest::newRow("server: port typed with blanks is kept")
        << "server" << QStringLiteral(" 80") << none << none << true << "AT+CIPSERVER=1, 80" << 20;

    // Client (Combo5, Text8, Text9).
    QTest::newRow("client: TCP with default texts, 40 bytes")
        << "client" << QStringLiteral("  TCP") << QStringLiteral("192.168.1.100")
        << QStringLiteral("5000") << true << R"(AT+CIPSTART="TCP","192.168.1.100",5000)" << 40;
    QTest::newRow("client: UDP with default texts, 40 bytes")
        << "client" << QStringLiteral("  UDP") << QStringLiteral("192.168.1.100")
        << QStringLiteral("5000") << true << R"(AT+CIPSTART="UDP","192.168.1.100",5000)" << 40;
    QTest::newRow("client: TCP without its blanks sends nothing")
        << "client" << QStringLiteral("TCP") << QStringLiteral("192.168.1.100")
        << QStringLiteral("5000") << false << none << 0;
    QTest::newRow("client: UDP with one blank sends nothing")
        << "client" << QStringLiteral(" UDP") << QStringLiteral("192.168.1.100")
        << QStringLiteral("5000") << false << none << 0;
    QTest::newRow("client: lower-case tcp sends nothing")
        << "client" << QStringLiteral("  tcp") << QStringLiteral("192.168.1.100")
        << QStringLiteral("5000") << false << none << 0;
    QTest::newRow("client: empty address stays quoted, empty port stays bare")
        << "client" << QStringLiteral("  TCP") << QString() << QString() << true
        << R"(AT+CIPSTART="TCP","",)" << 23;
    QTest::newRow("client: a port holding quotes is not quoted again")
        << "client" << QStringLiteral("  UDP") << QStringLiteral("host")
        << QStringLiteral(R"("80")") << true << R"(AT+CIPSTART="UDP","host","80")" << 31;

    // Payload announcement.
    QTest::newRow("announce: zero bytes") << "sendAnnouncement" << QStringLiteral("0") << none
                                          << none << true << "AT+CIPSEND=0" << 14;
    QTest::newRow("announce: five bytes") << "sendAnnouncement" << QStringLiteral("5") << none
                                          << none << true << "AT+CIPSEND=5" << 14;
    QTest::newRow("announce: four digits, no leading zeros or blanks")
        << "sendAnnouncement" << QStringLiteral("2048") << none << none << true << "AT+CIPSEND=2048"
        << 17;
}

void Tst_composers::composedLine()
{
    QFETCH(QString, composer);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, c);
    QFETCH(bool, sends);
    QFETCH(QString, expected);
    QFETCH(int, lineBytes);

    const std::optional<QString> text = compose(composer, a, b, c);
    QCOMPARE(text.has_value(), sends);
    if (!sends)
        return;
    QCOMPARE(*text, expected);
    QCOMPARE(WireCodec::byteLength(*text + QStringLiteral("\r\n")), qsizetype(lineBytes));
}

void Tst_composers::lineEndInTypedTextSendsNothing_data()
{
    QTest::addColumn<QString>("composer");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("c");

    // Each typed text in turn holds a line end and a second command; the other inputs
    // would compose a line.
    const QString open = QStringLiteral("        OPEN");
    const QString tcp = QStringLiteral("  TCP");
    const QString cr = QStringLiteral("1\rAT+RST");
    const QString lf = QStringLiteral("1\nAT+RST");
    const QString crlf = QStringLiteral("1\r\nAT+RST");
    QTest::newRow("time-out holding CR") << "serverTimeout" << cr << QString() << QString();
    QTest::newRow("time-out holding CR LF") << "serverTimeout" << crlf << QString() << QString();
    QTest::newRow("join: name holding LF")
        << "joinAccessPoint" << lf << kDefaultPassword << QString();
    QTest::newRow("join: password holding CR")
        << "joinAccessPoint" << kDefaultName << cr << QString();
    QTest::newRow("soft AP: name holding CR LF")
        << "softAccessPoint" << crlf << kDefaultPassword << open;
    QTest::newRow("soft AP: password holding LF")
        << "softAccessPoint" << kDefaultName << lf << open;
    QTest::newRow("server: port holding LF") << "server" << lf << QString() << QString();
    QTest::newRow("client: address holding CR") << "client" << tcp << cr << QStringLiteral("5000");
    QTest::newRow("client: port holding CR LF")
        << "client" << tcp << QStringLiteral("192.168.1.100") << crlf;
}

void Tst_composers::lineEndInTypedTextSendsNothing()
{
    QFETCH(QString, composer);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, c);
    const std::optional<QString> text = compose(composer, a, b, c);
    QVERIFY2(!text, qPrintable(QStringLiteral("composed \"%1\"").arg(text.value_or(QString()))));
}

QTEST_MAIN(Tst_composers)
#include "tst_composers.moc"
