#pragma once
// The schema facts a connection reads (attribute name -> type and single/multi-valued), kept
// on disk per user so that a process that reads one object does not wait for the whole
// schema each time it starts (a short-lived arvendel-cli run spends most of its time there).
//
// One file per forest and domain controller under $XDG_CACHE_HOME/Arvendel/schema
// (~/.cache/Arvendel/schema), owner-only. A file holds the schema container's modifyTimeStamp,
// uSNChanged and schemaInfo as they were when it was written; a schema change moves them
// (adding an attribute does not change the schema's version number), so a file whose
// values differ from the server's is not used. The file is read as untrusted input: one
// that is not a regular file owned by this user, is readable or writable by others, is too
// large, or does not parse exactly is ignored (and replaced by the next fresh read).
#include "platform/adsi/adsschema.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace ads {
namespace schemacache {

struct Key {
    QString forest;           // rootDomainNamingContext
    QString server;           // host:port the facts were read from
    QString modifyTimeStamp;  // of the schema container
    QString usnChanged;
    QByteArray schemaInfo;
    bool complete() const { return !forest.isEmpty() && !server.isEmpty() && !modifyTimeStamp.isEmpty() && !usnChanged.isEmpty(); }
};

// The folder of the cache files (not created).
QString folder();
// The file for a key's forest and server.
QString fileFor(const Key &key);
// The cached facts for key; null when there are none that can be trusted for it.
std::shared_ptr<SchemaMap> load(const Key &key);
// Writes the facts for key (atomically, owner-only); false when the folder or file cannot
// be written safely. A failure only means the next start reads the schema again.
bool save(const Key &key, const SchemaMap &map);

// Parses the text of a cache file; null unless it is complete, well formed and for key.
std::shared_ptr<SchemaMap> parse(const QByteArray &text, const Key &key);
QByteArray serialise(const Key &key, const SchemaMap &map);

} // namespace schemacache
} // namespace ads
