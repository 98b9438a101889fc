// Who may do what with the printer application, as cupsd's default policy
// has it: printing needs no login; a job's own operations (cancel, hold,
// release) are for its owner and administrators; printer and system
// administration, and every change through the web pages, for root and
// the members of the administrators' group. A local user is known by the
// kernel's word (the local socket, the socket tables for loopback); anyone
// else by a login (HTTP Basic, checked with PAM, over TLS off loopback).
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace kpxapp {

struct AccessPolicy {
  std::string pamService;  // PAM service for logins; empty: no logins
  std::string adminGroup;  // "lpadmin"
};

// Sets the policy as the system's authorization callback.
void setUpAccess(pappl_system_t *system, const AccessPolicy &policy);

// Makes the directory of the local socket of a server run as root (PAPPL's
// socket directory) reachable only by root and the administrators' group,
// before PAPPL creates the socket in it.
void prepareSocketDirectory(const std::string &directory, const std::string &adminGroup);

// Restricts the local socket itself: root's server to root and the
// administrators' group (0770), a user's server to that user (0700).
void restrictLocalSocket(const std::string &path, const std::string &adminGroup);

}  // namespace kpxapp
