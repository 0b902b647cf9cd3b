// Test helper: writes one description to a user of the test domain through the directory
// layer with the change journal recording, and dies (SIGKILL) after the modify was answered
// but before the outcome line is written, as a program killed at the worst moment.
//
//   journal_kill_helper <journal folder> <user DN>
#include "journal/recorder.h"
#include "platform/adsi/adsobject.h"
#include "platform/adsi/adspath.h"
#include "support/testdomain.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

class DyingRecorder : public journal::Recorder {
public:
    using journal::Recorder::Recorder;
    void written(quint64, const ads::WriteRequest &, const ads::WriteResult &) override { std::raise(SIGKILL); }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3 || !testsupport::domainAvailable())
        return 2;
    testsupport::useDomainEnvironment();
    ads::setWriteRecorder(std::make_shared<DyingRecorder>(QString::fromLocal8Bit(argv[1])));
    ads::ObjectPtr user;
    const QString path = QStringLiteral("LDAP://%1/%2").arg(testsupport::fact("ADDR"), ads::escapePathDn(QString::fromUtf8(argv[2])));
    if (ads::failed(ads::ADsOpenObject(path, testsupport::fact("ADMIN_UPN"), testsupport::fact("ADMIN_PASSWORD"), 0, &user)))
        return 3;
    user->GetInfoEx({QStringLiteral("description")});
    user->Put(QStringLiteral("description"), QStringLiteral("written before the kill"));
    const ads::HRESULT h = user->SetInfo();
    std::fprintf(stderr, "still alive after SetInfo: 0x%08x\n", static_cast<unsigned>(h));
    return 4;
}
