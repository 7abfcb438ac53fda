#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The composed command texts (without CR LF). Typed text goes in unchanged: no trimming,
// no escaping. A list text is recognised only by exact equality with an entry, leading
// blanks included; a text that matches no entry gives no command. A typed text holding a
// CR or LF gives no command either: it would end the line early and put a second,
// unasked-for command on the wire.
namespace Composers {

// The entries of the lists the composers read, in the order the lists offer them: the
// lists are filled from here, so that an entry and the command it stands for are written
// once.
QStringList workingModeEntries(); // Combo3
QStringList encryptionEntries();  // Combo4
QStringList protocolEntries();    // Combo5

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
