#pragma once
// The one place every directory write passes: SetInfo (modify, and the add of an object made
// with Create), SetPassword and Delete tell the process's write recorder what they are about
// to send and how it ended. The change journal (src/journal) is such a recorder; without one
// installed nothing is recorded and writes cost nothing extra.
//
//   ads::setWriteRecorder(std::make_shared<MyRecorder>());
//
// The recorder is asked before the request goes out and may stop it (a journal that cannot be
// written); it then returns a failure status with the extended error set, and the write call
// returns that status without sending anything.
#include "platform/adsi/adstypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

namespace ads {

enum class WriteKind { Modify, Add, Delete, SetPassword };

// The status of a write a recorder stopped before it was sent (its journal cannot be written
// and the write may not go ahead unrecorded): ERROR_WRITE_FAULT, with the extended error
// saying why and that nothing was changed.
constexpr HRESULT HR_WRITE_NOT_RECORDED = hresultFromWin32(29);

// One attribute of a write request, in wire form (the bytes sent and read).
struct WriteChange {
    QString attribute;
    AdsType type = ADSTYPE_INVALID;
    // true: every value is replaced; before holds all values the object had (as the program
    // read them when it staged the change, or read just before the write when it never had),
    // after all values it has once written.
    // false: values are removed and added; before holds the values removed, after the values
    // added, and the attribute's other values are untouched.
    bool whole = true;
    QList<QByteArray> before;
    QList<QByteArray> after;
    // The schema marks the attribute confidential (searchFlags bit 0x80), or it is a password:
    // a SetPassword change never carries its value.
    bool confidential = false;
};

struct WriteRequest {
    WriteKind kind = WriteKind::Modify;
    QString server;    // "host:port" actually connected to
    QString identity;  // who the connection is bound as ("u:EXAMPLE\\admin"), as the server says
    QString dn;
    QByteArray guid;   // objectGUID (16 bytes); empty for an object not yet added
    QList<WriteChange> changes;
    // Set by the recorder: attributes to read again after a successful write (their stored
    // form, which the server may have normalised), handed back in WriteResult::stored.
    QStringList readBack;
};

enum class WriteOutcome { Written, Refused, NotKnown };

struct WriteResult {
    WriteOutcome outcome = WriteOutcome::Refused;
    HRESULT status = S_OK;
    QString reason;  // the directory's (or the client's) words for a refusal or a lost answer
    QList<std::pair<QString, QList<QByteArray>>> stored;  // readBack values after a success
};

class WriteRecorder {
public:
    virtual ~WriteRecorder() = default;
    // Called before the request is sent. S_OK to let it go out (*ticket is handed back to
    // written()); any failure status stops the request: the recorder sets the extended
    // error (ADsSetLastError) to say why.
    virtual HRESULT aboutToWrite(WriteRequest &request, quint64 *ticket) = 0;
    // Called once for every request aboutToWrite let go out.
    virtual void written(quint64 ticket, const WriteRequest &request, const WriteResult &result) = 0;
};

// The process's recorder (null: none). Installing or removing it is thread-safe; a write
// that already asked the old recorder finishes with it.
void setWriteRecorder(std::shared_ptr<WriteRecorder> recorder);
std::shared_ptr<WriteRecorder> writeRecorder();

// How a write that was sent (or not) ended, from its status: success is Written; a status
// that says no answer came (timeout, broken connection, a stopped wait) is NotKnown when the
// request had gone out; anything else is a refusal.
WriteOutcome writeOutcomeOf(HRESULT status, bool sent);

} // namespace ads
