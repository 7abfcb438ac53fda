#include "freeformsender.h"
// stub: to be written
FreeFormSender::FreeFormSender(Transmitter &transmitter, std::function<QString()> inputText, QObject *parent)
    : QObject(parent), m_transmitter(transmitter), m_inputText(std::move(inputText)) {}
void FreeFormSender::clickAtSend() {}
void FreeFormSender::clickTextSend() {}
void FreeFormSender::tick() {}
QString inputToWire(const QString &boxText) { return boxText; }
