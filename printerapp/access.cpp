#include "access.h"

#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "peer.h"

namespace kpxapp {

namespace {

AccessPolicy g_policy;

// CUPS runs its backends as this user: a job it sends is its users' job.
constexpr const char *kSpoolerUser = "lp";

struct Who {
  bool known = false;
  bool byLogin = false;
  bool loginFailed = false;
  uid_t uid = static_cast<uid_t>(-1);
  std::string name;
};

std::string readFile(const char *path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool userByUid(uid_t uid, Who &who) {
  passwd pw{}, *found = nullptr;
  std::vector<char> buf(16384);
  if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) != 0 || found == nullptr) return false;
  who.known = true;
  who.uid = uid;
  who.name = pw.pw_name;
  return true;
}

// The owner of the client's end of a loopback TCP connection.
bool loopbackPeer(pappl_client_t *client, Who &who) {
  int fd = httpGetFd(papplClientGetHTTP(client));
  sockaddr_storage ours{}, theirs{};
  socklen_t lo = sizeof ours, lt = sizeof theirs;
  if (getsockname(fd, reinterpret_cast<sockaddr *>(&ours), &lo) != 0 ||
      getpeername(fd, reinterpret_cast<sockaddr *>(&theirs), &lt) != 0)
    return false;
  http_addr_t peer;
  std::memcpy(&peer, &theirs, std::min(sizeof peer, sizeof theirs));
  if (!httpAddrLocalhost(&peer)) return false;
  std::string local = socketTableEndpoint(reinterpret_cast<sockaddr *>(&theirs));
  std::string remote = socketTableEndpoint(reinterpret_cast<sockaddr *>(&ours));
  if (local.empty() || remote.empty()) return false;
  // The client's socket: its local end is our peer, its remote end us.
  const char *table = local.size() > 13 ? "/proc/net/tcp6" : "/proc/net/tcp";
  long uid = socketTableOwner(readFile(table), local, remote);
  return uid >= 0 && userByUid(static_cast<uid_t>(uid), who);
}

struct Credentials {
  const char *password;
};

int converse(int count, const pam_message **messages, pam_response **responses, void *data) {
  auto *answers = static_cast<pam_response *>(std::calloc(static_cast<size_t>(count), sizeof(pam_response)));
  if (answers == nullptr) return PAM_BUF_ERR;
  for (int i = 0; i < count; ++i) {
    if (messages[i]->msg_style == PAM_PROMPT_ECHO_OFF || messages[i]->msg_style == PAM_PROMPT_ECHO_ON)
      answers[i].resp = strdup(static_cast<Credentials *>(data)->password);
  }
  *responses = answers;
  return PAM_SUCCESS;
}

bool pamLogin(const std::string &user, const std::string &password) {
  if (g_policy.pamService.empty()) return false;
  Credentials credentials{password.c_str()};
  pam_conv conversation{converse, &credentials};
  pam_handle_t *pam = nullptr;
  if (pam_start(g_policy.pamService.c_str(), user.c_str(), &conversation, &pam) != PAM_SUCCESS) return false;
  int status = pam_authenticate(pam, PAM_SILENT);
  if (status == PAM_SUCCESS) status = pam_acct_mgmt(pam, PAM_SILENT);
  pam_end(pam, status);
  return status == PAM_SUCCESS;
}

// A login in the request (HTTP Basic), checked with PAM.
bool basicLogin(pappl_client_t *client, Who &who) {
  const char *field = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
  if (field == nullptr || std::strncmp(field, "Basic ", 6) != 0) return false;
  char decoded[512];
  int length = sizeof decoded;
  httpDecode64_2(decoded, &length, field + 6);
  std::string pair(decoded, static_cast<size_t>(std::max(length, 0)));
  size_t colon = pair.find(':');
  passwd pw{}, *found = nullptr;
  std::vector<char> buf(16384);
  if (colon == std::string::npos || !pamLogin(pair.substr(0, colon), pair.substr(colon + 1)) ||
      getpwnam_r(pair.substr(0, colon).c_str(), &pw, buf.data(), buf.size(), &found) != 0 || found == nullptr) {
    who.loginFailed = true;
    return true;
  }
  who.byLogin = true;
  return userByUid(pw.pw_uid, who);
}

Who identify(pappl_client_t *client) {
  Who who;
  if (!basicLogin(client, who)) loopbackPeer(client, who);
  return who;
}

// Root, or a member of the group (as primary or supplementary group).
bool isAdministrator(const Who &who, gid_t group) {
  if (who.uid == 0) return true;
  if (group == static_cast<gid_t>(-1)) return false;
  passwd pw{}, *found = nullptr;
  std::vector<char> buf(16384);
  if (getpwuid_r(who.uid, &pw, buf.data(), buf.size(), &found) != 0 || found == nullptr) return false;
  int count = 256;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  if (getgrouplist(pw.pw_name, pw.pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<size_t>(count));
    if (getgrouplist(pw.pw_name, pw.pw_gid, groups.data(), &count) < 0) return false;
  }
  for (int i = 0; i < count; ++i)
    if (groups[static_cast<size_t>(i)] == group) return true;
  return false;
}

bool continuesPrinting(ipp_op_t op) {
  return op == IPP_OP_SEND_DOCUMENT || op == IPP_OP_SEND_URI || op == IPP_OP_CLOSE_JOB ||
         op == IPP_OP_GET_JOB_ATTRIBUTES;
}

// PAPPL asks with the printer's print group (none here) to print and for
// the operations of a job whose owner the request names, and with the
// administrators' group for administration and for someone else's job.
http_status_t authorize(pappl_client_t *client, const char *group, gid_t gid, void *) {
  Who who = identify(client);
  if (who.loginFailed) return HTTP_STATUS_UNAUTHORIZED;
  const bool administration = group != nullptr && *group != '\0';
  if (!administration) {
    // A job's own operations: the owner is the one PAPPL checks next, by
    // the name the request gives, which proves nothing; a known user
    // becomes that name.
    if (who.known && papplClientGetJob(client) != nullptr) papplClientSetUsername(client, who.name.c_str());
    return HTTP_STATUS_CONTINUE;
  }
  if (who.known && isAdministrator(who, gid)) {
    papplClientSetUsername(client, who.name.c_str());
    return HTTP_STATUS_CONTINUE;
  }
  if (pappl_job_t *job = papplClientGetJob(client)) {
    const char *owner = papplJobGetUsername(job);
    if (who.known && ((owner != nullptr && who.name == owner) || who.name == kSpoolerUser)) return HTTP_STATUS_CONTINUE;
    // Someone the kernel cannot name (another computer) goes on printing
    // the job it made under the name it gave, as with cupsd: documents
    // for it, and its state; cancelling, holding or releasing it takes a
    // login.
    if (!who.known && owner != nullptr && continuesPrinting(papplClientGetOperation(client))) {
      ipp_attribute_t *named = ippFindAttribute(papplClientGetRequest(client), "requesting-user-name", IPP_TAG_NAME);
      const char *name = named != nullptr ? ippGetString(named, 0, nullptr) : nullptr;
      if (name != nullptr && std::strcmp(name, owner) == 0) return HTTP_STATUS_CONTINUE;
    }
  }
  // A user known without a login may still log in as an administrator.
  return who.byLogin ? HTTP_STATUS_FORBIDDEN : HTTP_STATUS_UNAUTHORIZED;
}

gid_t groupId(const std::string &name) {
  group gr{}, *found = nullptr;
  std::vector<char> buf(16384);
  if (getgrnam_r(name.c_str(), &gr, buf.data(), buf.size(), &found) != 0 || found == nullptr)
    return static_cast<gid_t>(-1);
  return gr.gr_gid;
}

}  // namespace

void setUpAccess(pappl_system_t *system, const AccessPolicy &policy) {
  g_policy = policy;
  papplSystemSetAdminGroup(system, policy.adminGroup.c_str());
  papplSystemSetAuthCallback(system, "Basic", authorize, nullptr);
}

void prepareSocketDirectory(const std::string &directory, const std::string &adminGroup) {
  size_t slash = directory.rfind('/');
  if (slash != std::string::npos && slash > 0) mkdir(directory.substr(0, slash).c_str(), 0755);
  if (mkdir(directory.c_str(), 0750) != 0 && errno != EEXIST) return;
  if (chown(directory.c_str(), 0, groupId(adminGroup)) == 0) chmod(directory.c_str(), 0750);
}

void restrictLocalSocket(const std::string &path, const std::string &adminGroup) {
  if (getuid() != 0) {
    chmod(path.c_str(), 0700);
    return;
  }
  if (chown(path.c_str(), 0, groupId(adminGroup)) == 0) chmod(path.c_str(), 0770);
  else chmod(path.c_str(), 0700);
}

}  // namespace kpxapp
