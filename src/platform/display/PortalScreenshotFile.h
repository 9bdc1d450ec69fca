#pragma once

#include <QString>

#include <ctime>
#include <functional>
#include <optional>

namespace crel {

// The picture a Screenshot portal wrote for one request. Some backends
// (KDE's) leave it in the user's pictures folder, where nobody asked for a
// picture of the whole desktop; Crel takes it away once it handled the
// answer, but only when it is plainly the file made for this request.
namespace PortalScreenshotFile {

// The moment a request is sent, on the clock file systems stamp files by;
// taken before sending it.
timespec requestTime();

// What the file system tells of a file's birth; a test stands in for one
// that tells nothing.
using BirthTime = std::function<std::optional<timespec>(std::optional<timespec> told)>;

// Removes the file at `path` (the request's uri), without following a link,
// when it is a regular file of the user's with one link, the very file
// `opened` holds, outside the document portal's folder, and either in
// temporary storage or born no earlier than `requested`. Whether it went.
bool removeIfMadeFor(const QString &path, int opened, timespec requested, const BirthTime &birthTime = {});

} // namespace PortalScreenshotFile

} // namespace crel
