#include "wirecodec.h"
// stub: to be written
bool WireCodec::available() { return false; }
WireCodec::Encoded WireCodec::encode(const QString &text) { return {text.toLatin1(), text}; }
qsizetype WireCodec::byteLength(const QString &text) { return encode(text).bytes.size(); }
WireDecoder::WireDecoder() : m_decoder("GBK") {}
QString WireDecoder::decode(QByteArrayView bytes) { return m_decoder.decode(bytes); }
