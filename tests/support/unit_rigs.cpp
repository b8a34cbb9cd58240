#include "tests/support/unit_rigs.h"

#include <QDir>
#include <QFile>
#include <random>
#include <string>

namespace testsupport {

namespace {
void mapCom(int com, const QString& path) {
    qputenv(QStringLiteral("QUARN_COM%1").arg(com).toLatin1().constData(), path.toLocal8Bit());
}
}  // namespace

SimPort::SimPort(sim::Config config, int com) : com_(com) {
    link_ = dir_.filePath(QStringLiteral("COM%1").arg(com));
    config.symlink = link_.toStdString();
    sim_ = std::make_unique<sim::UnitSim>(config);
    std::string error;
    if (!sim_->start(&error)) qFatal("simulator did not start: %s", error.c_str());
    mapCom(com, link_);
}

SimPort::~SimPort() {
    sim_.reset();
    qunsetenv(QStringLiteral("QUARN_COM%1").arg(com_).toLatin1().constData());
}

QString writeFile(const QString& dir, const QString& name, const QByteArray& bytes) {
    const QString path = QDir(dir).filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write test file");
    return path;
}

QByteArray patternBytes(int n, uint32_t seed) {
    std::mt19937 gen(seed);
    QByteArray out(n, '\0');
    for (int i = 0; i < n; ++i) out[i] = static_cast<char>(gen() & 0xFF);
    return out;
}

sim::Bytes toBytes(const QByteArray& a) { return sim::Bytes(a.begin(), a.end()); }

QByteArray toQByteArray(const sim::Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<int>(b.size()));
}

sim::Fault makeFault(sim::FaultKind kind, QByteArray bytes, int times, int onlyBlock) {
    sim::Fault f;
    f.kind = kind;
    f.bytes = toBytes(bytes);
    f.times = times;
    f.onlyBlock = onlyBlock;
    return f;
}

}  // namespace testsupport
