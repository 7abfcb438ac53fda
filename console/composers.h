#pragma once

#include <QString>

#include <optional>

// The composed command texts (without CR LF). Typed text goes in unchanged: no trimming,
// no escaping. A list text is recognised only by exact equality with an entry, leading
// blanks included; a text that matches no entry gives no command. A typed text holding a
// CR or LF gives no command either: it would end the line early and put a second,
// unasked-for command on the wire.
namespace Composers {

// Combo3: "        Station模式" -> AT+CWMODE=1, "          AP模式" -> 2,
// "     AP兼Station模式" -> 3
std::optional<QString> workingMode(const QString &comboText);
// Text4 -> AT+CIPSTO=<text>
std::optional<QString> serverTimeout(const QString &text);
// Text10, Text11 -> AT+CWJAP="<name>","<password>"
std::optional<QString> joinAccessPoint(const QString &name, const QString &password);
// Text5, Text6, Combo4 -> AT+CWSAP="<name>","<password>",11,<code>
std::optional<QString> softAccessPoint(const QString &name, const QString &password,
                                       const QString &encryptionText);
// Text7 -> AT+CIPSERVER=1,<port>
std::optional<QString> server(const QString &port);
// Combo5, Text8, Text9 -> AT+CIPSTART="<TCP|UDP>","<address>",<port>
std::optional<QString> client(const QString &protocolText, const QString &address,
                              const QString &port);
// AT+CIPSEND=<n>
QString sendAnnouncement(qsizetype byteLength);

} // namespace Composers
