# The cupsd.conf of every private CUPS scheduler the project starts (tests,
# demo, benchmarks: scripts/private-cups.sh; the install test in a Debian
# root: packaging/install-test.sh). Sourced, not run.
#
#   cupsd_conf PORT > cupsd.conf
#
# Loopback only, no browsing or web interface, everything logged, jobs and
# their files kept for inspection, and a policy that lets any local client
# add queues and cancel jobs without authentication (filters run as lp
# cancel their own job).
cupsd_conf() {
  cat <<CONF
Listen 127.0.0.1:$1
Browsing No
WebInterface No
LogLevel debug
MaxLogSize 0
PreserveJobFiles Yes
PreserveJobHistory Yes
<Location />
  Order allow,deny
  Allow 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
}
