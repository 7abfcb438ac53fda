#include "composers.h"

#include <QChar>

#include <initializer_list>

namespace Composers {

namespace {

const QChar kQuote(u'"');

// A list text names an entry only when it is the entry's whole text, blanks included.
template <std::size_t N>
std::optional<QString> lookUp(const QString &listText, const char16_t *const (&entries)[N][2])
{
    for (const auto &entry : entries) {
        if (listText == QString::fromUtf16(entry[0]))
            return QString::fromUtf16(entry[1]);
    }
    return std::nullopt;
}

const char16_t *const kWorkingModes[3][2] = {
    {u"        Station模式", u"1"},
    {u"          AP模式", u"2"},
    {u"     AP兼Station模式", u"3"},
};

const char16_t *const kEncryptions[5][2] = {
    {u"        OPEN", u"0"},   {u"        WEP", u"1"},      {u"      WPA_PSK", u"2"},
    {u"      WPA2_PSK", u"3"}, {u"    WPA_WPA2_PSK", u"4"},
};

const char16_t *const kProtocols[2][2] = {
    {u"  TCP", u"TCP"},
    {u"  UDP", u"UDP"},
};

// A command line ends at its CR LF; a typed text must not carry a line end of its own.
bool oneLine(std::initializer_list<const QString *> texts)
{
    for (const QString *text : texts) {
        if (text->contains(u'\r') || text->contains(u'\n'))
            return false;
    }
    return true;
}

QString quoted(const QString &text)
{
    return kQuote + text + kQuote;
}

template <std::size_t N> QStringList entriesOf(const char16_t *const (&entries)[N][2])
{
    QStringList texts;
    for (const auto &entry : entries)
        texts.append(QString::fromUtf16(entry[0]));
    return texts;
}

} // namespace

QStringList workingModeEntries()
{
    return entriesOf(kWorkingModes);
}

QStringList encryptionEntries()
{
    return entriesOf(kEncryptions);
}

QStringList protocolEntries()
{
    return entriesOf(kProtocols);
}

std::optional<QString> workingMode(const QString &comboText)
{
    // No entry holds a line end, so a list text that does is no entry either.
    const auto mode = lookUp(comboText, kWorkingModes);
    if (!mode)
        return std::nullopt;
    return QStringLiteral("AT+CWMODE=") + *mode;
}

std::optional<QString> serverTimeout(const QString &text)
{
    if (!oneLine({&text}))
        return std::nullopt;
    return QStringLiteral("AT+CIPSTO=") + text;
}

std::optional<QString> joinAccessPoint(const QString &name, const QString &password)
{
    if (!oneLine({&name, &password}))
        return std::nullopt;
    return QStringLiteral("AT+CWJAP=") + quoted(name) + u',' + quoted(password);
}

std::optional<QString> softAccessPoint(const QString &name, const QString &password,
                                       const QString &encryptionText)
{
    const auto code = lookUp(encryptionText, kEncryptions);
    if (!code || !oneLine({&name, &password}))
        return std::nullopt;
    // The access point always offers channel 11.
    return QStringLiteral("AT+CWSAP=") + quoted(name) + u',' + quoted(password) +
           QStringLiteral(",11,") + *code;
}

std::optional<QString> server(const QString &port)
{
    if (!oneLine({&port}))
        return std::nullopt;
    return QStringLiteral("AT+CIPSERVER=1,") + port;
}

std::optional<QString> client(const QString &protocolText, const QString &address,
                              const QString &port)
{
    const auto protocol = lookUp(protocolText, kProtocols);
    if (!protocol || !oneLine({&address, &port}))
        return std::nullopt;
    // The address is quoted, the port goes bare, whatever either holds.
    return QStringLiteral("AT+CIPSTART=") + quoted(*protocol) + u',' + quoted(address) + u',' +
           port;
}

QString sendAnnouncement(qsizetype byteLength)
{
    return QStringLiteral("AT+CIPSEND=") + QString::number(byteLength);
}

} // namespace Composers
