#include "mime_drag.h"

#include <QMimeData>
#include <QUrl>

#include "narrow_text.h"

namespace zubeto {

namespace {

// The exact bytes of a local file URL's path. toLocalFile() decodes the
// path as UTF-8 and puts a replacement character for each byte that is not,
// so a name written by another system would come out as another path; the
// URL itself keeps those bytes percent-encoded. The bytes are taken only
// where they read as the local file does (the host form of a share, say,
// is left to toLocalFile() should the two ever differ).
std::string local_path_bytes(const QUrl& url) {
  const QString local = url.toLocalFile();
  QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  if (!url.host().isEmpty()) {
    if (!bytes.startsWith('/')) bytes.prepend('/');
    bytes.prepend("//" + url.host(QUrl::FullyEncoded).toUtf8());
  }
  std::string path(bytes.constData(), static_cast<size_t>(bytes.size()));
  if (from_narrow(path) == local) return path;
  return to_narrow(local);
}

}  // namespace

DragData drag_data(const QMimeData& data, Qt::DropActions offered) {
  DragData out;
  out.copy_allowed = (offered & Qt::CopyAction) != 0;
  if (data.hasUrls())
    for (const QUrl& url : data.urls())
      if (url.isLocalFile()) out.paths.push_back(local_path_bytes(url));
  out.file_list = !out.paths.empty();
  return out;
}

}  // namespace zubeto
