#include "qtseriallink.h"
// stub: to be written
QtSerialLink::QtSerialLink(QObject *parent) : SerialLink(parent) {}
QtSerialLink::~QtSerialLink() = default;
bool QtSerialLink::open(const QString &, const LineSettings &, QString *) { return false; }
void QtSerialLink::close() {}
bool QtSerialLink::isOpen() const { return false; }
bool QtSerialLink::write(const QByteArray &) { return false; }
void QtSerialLink::onReadyRead() {}
void QtSerialLink::onError(QSerialPort::SerialPortError) {}
void QtSerialLink::fail(const QString &) {}
