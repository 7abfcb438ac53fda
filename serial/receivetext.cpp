#include "receivetext.h"
// stub: to be written
QString ReceiveText::feed(QByteArrayView bytes) { return m_decoder.decode(bytes); }
void ReceiveText::logCleared() {}
