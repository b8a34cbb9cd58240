// Feeds arbitrary bytes to the Init.txt reader. Besides crashes and sanitizer
// reports it checks what callers rely on: a refusal always carries a reason,
// an accepted file never has more than the eleven step labels, and reading
// the same bytes twice gives the same outcome.
#include <QBuffer>
#include <cstddef>
#include <cstdint>

#include "image/init_file.h"

namespace {

quarn::InitResult readOnce(const QByteArray& bytes) {
    QBuffer buf;
    buf.setData(bytes);
    buf.open(QIODevice::ReadOnly);
    return quarn::readInit(buf);
}

bool same(const quarn::InitResult& a, const quarn::InitResult& b) {
    const quarn::InitValues& x = a.values;
    const quarn::InitValues& y = b.values;
    return a.ok == b.ok && a.error == b.error && x.header[0] == y.header[0] &&
           x.header[1] == y.header[1] && x.header[2] == y.header[2] && x.steps == y.steps &&
           x.downloadFile == y.downloadFile && x.downloadLength == y.downloadLength &&
           x.endMessage == y.endMessage && x.downloadCaption == y.downloadCaption;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const quarn::InitResult r = readOnce(bytes);
    if (r.ok == r.error.isEmpty() && r.values.steps.size() <= quarn::kMaxSteps &&
        same(r, readOnce(bytes)))
        return 0;
    __builtin_trap();
}
