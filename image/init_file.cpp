#include "image/init_file.h"

#include <QFile>
#include <cstddef>
#include <cstdint>

namespace quarn {

namespace {

// Longest stretch of the file one field may take up: its leading blanks,
// quotes, text and anything ignored after a closing quote, but not the comma
// or line end that ends it. No real header, step text, file name or message
// comes near this, and the cap is what bounds the reader: without it a large
// file with no line end would be collected into one ever-growing field. With
// it, the reader never holds more than one capped field and never reads more
// than about (3 + 12 + 4) fields' worth of the file, whatever its size.
constexpr int kMaxFieldBytes = 64 * 1024;

// Bytes fetched from the device per read. Small, so that a huge file whose
// fields sit at the top is read only a little beyond the last field needed.
constexpr int kChunkBytes = 512;

enum class FieldStatus { Ok, EndOfFile, TooLong, ReadError };

// Free-format field reader over a device, reading it chunk by chunk.
class FieldReader {
public:
    explicit FieldReader(QIODevice& in) : in_(in) {}

    // Skips a UTF-8 byte-order mark at the very start of the file. Editors on
    // the target PCs add one when the file is saved as UTF-8.
    void skipByteOrderMark() {
        if (peek(0) == 0xEF && peek(1) == 0xBB && peek(2) == 0xBF) pos_ += 3;
    }

    FieldStatus next(QByteArray& value) {
        value.clear();
        span_ = 0;
        skipBlanks();
        // "a,<line end>b" is two fields, not three: a comma at the end of a
        // line only separates, so the line end after it does not start an
        // empty field of its own.
        if (afterComma_) {
            afterComma_ = false;
            if (const int n = lineEndLength(); n > 0) {
                pos_ += n;
                skipBlanks();
            }
        }
        fieldLine_ = line();
        if (readError_) return FieldStatus::ReadError;
        if (span_ > kMaxFieldBytes) return FieldStatus::TooLong;
        const int c = peek(0);
        if (c < 0) return readError_ ? FieldStatus::ReadError : FieldStatus::EndOfFile;
        return c == '"' ? readQuoted(value) : readPlain(value);
    }

    // The line (from 1) on which the field last read by next() starts, or
    // where the file ended when there was none.
    int fieldLine() const { return fieldLine_; }
    // The number of lines the file has, once next() has met its end.
    int linesAtEnd() const {
        const char before = pos_ > 0 ? buf_[pos_ - 1] : lastDropped_;
        return fieldLine_ - (before == '\n' || before == 0 ? 1 : 0);
    }

private:
    int line() const {
        int n = linesBefore_ + 1;
        for (int i = 0; i < pos_ && i < buf_.size(); ++i) n += buf_[i] == '\n';
        return n;
    }

    // Byte at pos_ + ahead, or -1 at the end of the data (or on a read error).
    int peek(int ahead) {
        while (pos_ + ahead >= buf_.size()) {
            if (eof_) return -1;
            fill();
        }
        return static_cast<unsigned char>(buf_[pos_ + ahead]);
    }

    void fill() {
        // Drop what has been consumed so the buffer holds at most a chunk
        // plus the few bytes of look-ahead.
        for (int i = 0; i < pos_ && i < buf_.size(); ++i) linesBefore_ += buf_[i] == '\n';
        if (pos_ > 0) lastDropped_ = buf_[pos_ - 1];
        buf_.remove(0, pos_);
        pos_ = 0;
        char chunk[kChunkBytes];
        const qint64 n = in_.read(chunk, kChunkBytes);
        if (n < 0) readError_ = true;
        if (n <= 0) {
            eof_ = true;
            return;
        }
        buf_.append(chunk, static_cast<int>(n));
    }

    // 2 for CR LF, 1 for LF, 0 otherwise. A CR at the very end of the file is
    // taken as a line end cut short; any other lone CR is ordinary text.
    int lineEndLength() {
        const int c = peek(0);
        if (c == '\n') return 1;
        if (c == '\r') {
            const int d = peek(1);
            if (d == '\n') return 2;
            if (d < 0) return 1;
        }
        return 0;
    }

    void skipBlanks() {
        for (int c = peek(0); (c == ' ' || c == '\t') && span_ <= kMaxFieldBytes; c = peek(0)) {
            ++pos_;
            ++span_;
        }
    }

    // Consumes the comma or line end that ends a field, if any (the end of
    // the file ends it too).
    void takeDelimiter() {
        if (peek(0) == ',') {
            ++pos_;
            afterComma_ = true;
        } else {
            pos_ += lineEndLength();
        }
    }

    bool atDelimiter() { return peek(0) == ',' || lineEndLength() > 0; }

    bool take(QByteArray* value) {
        if (++span_ > kMaxFieldBytes) return false;
        if (value) value->append(static_cast<char>(buf_[pos_]));
        ++pos_;
        return true;
    }

    FieldStatus readPlain(QByteArray& value) {
        while (peek(0) >= 0 && !atDelimiter()) {
            if (!take(&value)) return FieldStatus::TooLong;
        }
        if (readError_) return FieldStatus::ReadError;
        while (!value.isEmpty() && (value.back() == ' ' || value.back() == '\t')) value.chop(1);
        takeDelimiter();
        return FieldStatus::Ok;
    }

    FieldStatus readQuoted(QByteArray& value) {
        if (!take(nullptr)) return FieldStatus::TooLong;  // opening quote
        // An unterminated quote takes the rest of the file as its text.
        for (int c = peek(0); c >= 0 && c != '"'; c = peek(0)) {
            if (!take(&value)) return FieldStatus::TooLong;
        }
        if (peek(0) == '"' && !take(nullptr)) return FieldStatus::TooLong;
        // Whatever follows the closing quote on the same field is ignored.
        while (peek(0) >= 0 && !atDelimiter()) {
            if (!take(nullptr)) return FieldStatus::TooLong;
        }
        if (readError_) return FieldStatus::ReadError;
        takeDelimiter();
        return FieldStatus::Ok;
    }

    QIODevice& in_;
    QByteArray buf_;
    int pos_ = 0;
    int span_ = 0;
    bool eof_ = false;
    bool readError_ = false;
    bool afterComma_ = false;
    int linesBefore_ = 0;  // line ends in the bytes dropped from buf_
    int fieldLine_ = 1;
    char lastDropped_ = 0;  // the last byte dropped from buf_, 0 before any
};

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF)
// decoded into out. Returns false when bytes is not valid UTF-8.
bool decodeUtf8(const QByteArray& bytes, QString& out) {
    out.clear();
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        char32_t cp;
        int extra;
        char32_t min;
        if (b < 0x80) {
            out.append(QChar(b));
            ++i;
            continue;
        }
        if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F, extra = 1, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F, extra = 2, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07, extra = 3, min = 0x10000;
        } else {
            return false;
        }
        if (n - i <= extra) return false;
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (QChar::requiresSurrogates(cp)) {
            out.append(QChar(QChar::highSurrogate(cp)));
            out.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            out.append(QChar(static_cast<char16_t>(cp)));
        }
        i += extra + 1;
    }
    return true;
}

// The file has no declared encoding: PCs that write it in UTF-8 and older
// ones that write it in a Western 8-bit code page both occur. Text that is
// valid UTF-8 is almost never meant as Latin-1, so UTF-8 is tried first.
QString decodeText(const QByteArray& bytes) {
    QString text;
    if (decodeUtf8(bytes, text)) return text;
    return QString::fromLatin1(bytes);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The length field as a decimal number: optional sign, digits with an
// optional fraction, optional exponent, surrounding blanks allowed; empty is
// 0. The integer part rounded towards minus infinity must fit 16 bits.
// Worked out exactly on the decimal digits rather than through a double, so
// that no rounding of long fractions or huge exponents can move the result
// across a boundary, and no locale can change the decimal point.
// A number as the length rule reads it: an optional sign, digits with an
// optional point, an optional exponent; nothing else. Its digits without the
// point, how many stand before the point, and the exponent (capped: any
// larger one is far outside 16 bits or far below 1).
struct Scanned {
    bool negative = false;
    QByteArray digits;
    qsizetype intDigits = 0;
    int64_t exponent = 0;
};

bool scanNumber(const QByteArray& text, Scanned* out) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    Scanned& s = *out;
    if (text[i] == '+' || text[i] == '-') s.negative = text[i++] == '-';
    for (; i < n && isDigit(text[i]); ++i, ++s.intDigits) s.digits.append(text[i]);
    if (i < n && text[i] == '.') {
        for (++i; i < n && isDigit(text[i]); ++i) s.digits.append(text[i]);
    }
    if (s.digits.isEmpty()) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) expNegative = text[i++] == '-';
        if (i >= n || !isDigit(text[i])) return false;
        for (; i < n && isDigit(text[i]); ++i)
            if (s.exponent < 1000000) s.exponent = s.exponent * 10 + (text[i] - '0');
        if (expNegative) s.exponent = -s.exponent;
    }
    return i == n;
}

bool parseLength(QByteArray text, int16_t& out, QString& why) {
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t')) text.remove(0, 1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t')) text.chop(1);
    if (text.isEmpty()) {
        out = 0;
        return true;
    }
    why = QStringLiteral("download length \"%1\" is not a number").arg(QString::fromLatin1(text));
    Scanned s;
    if (!scanNumber(text, &s)) return false;
    const QByteArray& digits = s.digits;

    // Value = 0.digits × 10^point.
    int64_t point = s.intDigits + s.exponent;
    qsizetype first = 0;
    while (first < digits.size() && digits[first] == '0') {
        ++first;
        --point;
    }
    int64_t whole = 0;
    bool fraction = false;
    if (first < digits.size()) {
        why = QStringLiteral("download length %1 out of range -32768..32767")
                  .arg(QString::fromLatin1(text));
        if (point > 5) return false;  // at least 100000
        for (int64_t k = 0; k < point; ++k) {
            const qsizetype at = first + k;
            whole = whole * 10 + (at < digits.size() ? digits[at] - '0' : 0);
        }
        for (qsizetype at = first + (point > 0 ? point : 0); at < digits.size(); ++at) {
            if (digits[at] != '0') fraction = true;
        }
    }
    const int64_t value = s.negative ? -whole - (fraction ? 1 : 0) : whole;
    if (value < INT16_MIN || value > INT16_MAX) return false;
    out = static_cast<int16_t>(value);
    why.clear();
    return true;
}

InitResult fail(const QString& why) {
    InitResult r;
    r.error = why;
    return r;
}

}  // namespace

// Reads the next field into field, or says why the file is refused; what
// names the field for that reason.
bool readField(FieldReader& reader, QByteArray& field, const char* what, QString* why) {
    switch (reader.next(field)) {
        case FieldStatus::Ok:
            return true;
        case FieldStatus::EndOfFile:
            *why = reader.linesAtEnd() == 0
                       ? QStringLiteral("the file is empty")
                       : QStringLiteral("the file ends after line %1, before the %2")
                             .arg(reader.linesAtEnd())
                             .arg(QLatin1String(what));
            break;
        case FieldStatus::TooLong:
            *why = QStringLiteral("line %1: a field longer than %2 bytes")
                       .arg(reader.fieldLine())
                       .arg(kMaxFieldBytes);
            break;
        case FieldStatus::ReadError:
            *why = QStringLiteral("line %1: read error").arg(reader.fieldLine());
            break;
    }
    return false;
}

InitResult readInit(QIODevice& in) {
    if (!in.isOpen() || !in.isReadable()) return fail(QStringLiteral("file not open for reading"));
    FieldReader reader(in);
    reader.skipByteOrderMark();
    QByteArray field;
    auto nextField = [&](const char* what, QString& why) {
        return readField(reader, field, what, &why);
    };

    InitResult r;
    InitValues& v = r.values;
    QString why;
    for (QString& line : v.header) {
        if (!nextField("three header lines", why)) return fail(why);
        line = decodeText(field);
    }
    for (;;) {
        if (!nextField("\"StepEnd\" line", why)) return fail(why);
        if (field == "StepEnd") break;
        if (v.steps.size() == kMaxSteps) {
            return fail(
                QStringLiteral("line %1: a twelfth step before \"StepEnd\" (at most %2 steps)")
                    .arg(reader.fieldLine())
                    .arg(kMaxSteps));
        }
        v.steps.append(decodeText(field));
    }
    // The four fields after "StepEnd"; a file that stops short lacks some.
    if (!nextField("download file name (after \"StepEnd\")", why)) return fail(why);
    v.downloadFile = decodeText(field);
    if (!nextField("download length (after \"StepEnd\")", why)) return fail(why);
    const QByteArray lengthField = field;
    const int lengthLine = reader.fieldLine();
    if (!nextField("end message (after \"StepEnd\")", why)) return fail(why);
    v.endMessage = decodeText(field);
    if (!nextField("download window title (after \"StepEnd\")", why)) return fail(why);
    v.downloadCaption = decodeText(field);
    // The length is converted only once all fields are in, as the start-up
    // window has always done; either failure refuses the file the same way.
    if (!parseLength(lengthField, v.downloadLength, why)) {
        return fail(QStringLiteral("line %1: %2").arg(lengthLine).arg(why));
    }
    r.ok = true;
    return r;
}

InitResult readInitFile(const QString& path) {
    QFile file(path);
    // Binary mode: line ends are the reader's business (CR LF and LF alike).
    if (!file.exists()) return fail(QStringLiteral("file not found"));
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot open the file: %1").arg(file.errorString()));
    return readInit(file);
}

}  // namespace quarn
