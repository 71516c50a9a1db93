#pragma once

#include <QByteArray>
#include <QString>

// The encodings the preview tells apart for showing a source. Showing only: the formatter always gets
// the file's own bytes, and nothing is ever written back.
enum class SourceEncoding { Utf8, Utf8Bom, Gb18030, Latin1 };

// UTF-8 when the bytes are valid UTF-8 (with its byte order mark: Utf8Bom); otherwise GB18030 when
// they decode as GB18030 to mostly Chinese text, which GBK files do; otherwise Latin-1, which takes
// any bytes.
SourceEncoding detectSourceEncoding(const QByteArray &bytes);

// The text for the screen; a byte order mark is dropped, bytes that do not decode show as U+FFFD.
QString decodeSource(const QByteArray &bytes, SourceEncoding encoding);

// "UTF-8", "UTF-8 (BOM)", "GB18030", "Latin-1".
QString sourceEncodingName(SourceEncoding encoding);
