#pragma once
// One window copy per user session. A lock file decides who runs: it names its owner's process, so
// a copy that crashed leaves a lock that the next start recognises as dead and takes over. The
// running copy listens on a local socket; a later copy sends it an activation request there and
// ends.

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace m84 {

// Where the lock file lies and what the local socket is called; both qualified by the user.
struct InstanceName {
  QString lockFilePath;
  QString serverName;

  // Both "M84PagerDpt-<user>", in the user's runtime folder (or the temporary folder).
  static InstanceName ForThisUser();
};

class InstanceGuard : public QObject {
  Q_OBJECT

 public:
  enum class Role {
    First,      // this copy holds the lock
    Second,     // a living copy holds it
    Unguarded,  // the lock file could not be made at all: run, but claim nothing
  };

  explicit InstanceGuard(const InstanceName& name = InstanceName::ForThisUser(), QObject* parent = nullptr);
  ~InstanceGuard() override;

  Role Claim();
  // Only for the First copy. A socket left behind by a crashed copy is removed first.
  bool Listen();
  // For a Second copy: hands the request to the running copy, with the file it is to open, if
  // any (an absolute path: the running copy has a working folder of its own). False when it
  // could not be reached within a short wait (it may still be starting, or be blocked in a pager
  // transfer).
  bool RequestActivation(const QString& file = QString()) const;
  // Stops listening and gives the lock up; a Second or Unguarded copy has nothing to give up.
  void Release();

  const InstanceName& Name() const { return name_; }

 signals:
  // A later copy asked for the window to come to the front.
  void ActivationRequested();
  // A later copy was started with a file: the window is to open it (and come to the front).
  void OpenRequested(const QString& file);

 private:
  void AcceptRequests();
  void ReadRequest(QLocalSocket* socket);

  InstanceName name_;
  QLockFile lock_;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace m84
