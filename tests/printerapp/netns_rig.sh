# Two computers in network namespaces, for the DNS-SD and sharing tests
# (source it; root). Each "computer" is a network and mount namespace held
# by a sleeping process; inside, a tmpfs over /run gives it its own system
# D-Bus and avahi-daemon, so nothing talks to the machine's own services.
# A veth pair joins them (10.77.25.1 and .2); nothing leaves the machine.
#
#   ns_make NAME DIR HOSTNAME [PEER]  makes computer NAME (state in DIR/NAME),
#                                     with the veth pair to PEER when given
#
# This machine has no libnss-mdns, which resolves NAME.local on a desktop:
# each computer's /etc/hosts (a file of its own, mounted over) names both.
# /etc/cups/ssl, where PAPPL and cupsd keep TLS keys when run as root, is
# DIR/NAME/ssl.
#   ns_run NAME CMD...                runs CMD in it
#   ns_avahi NAME                     starts its D-Bus and avahi-daemon
#   ns_stop_all                       stops every daemon and holder started here

declare -A NS_PID NS_DIR
NS_ALL=()

# Every command is bounded, so a stall fails with its line instead of
# holding the test until ctest kills it.
ns_run() { local n=$1; shift; nsenter -t "${NS_PID[$n]}" --net --mount -- timeout -k 5 "${NS_TIMEOUT:-150}" "$@"; }

ns_make() {  # NAME DIR HOSTNAME [PEER]
  local n=$1 d=$2/$1 host=$3 peer=${4:-}
  mkdir -p "$d"
  unshare --net --mount --propagation private sleep infinity </dev/null >/dev/null 2>&1 &
  NS_PID[$n]=$!
  NS_DIR[$n]=$d
  NS_ALL+=("$n")
  echo "$host" >"$d/hostname"
  local i
  for i in $(seq 1 50); do
    [ "$(readlink /proc/"${NS_PID[$n]}"/ns/net)" != "$(readlink /proc/self/ns/net)" ] && break
    sleep 0.1
  done
  ns_run "$n" mount -t tmpfs -o mode=0755 kpxrun /run
  ns_run "$n" mkdir -p /run/dbus /run/avahi-daemon /run/lock
  ns_run "$n" ip link set lo up
  ns_run "$n" ip link set lo multicast on
  printf '127.0.0.1 localhost localhost.local\n10.77.25.1 kpxserver.local\n10.77.25.2 kpxclient.local\n' >"$d/hosts"
  ns_run "$n" mount --bind "$d/hosts" /etc/hosts
  mkdir -m 0700 "$d/ssl"
  ns_run "$n" mount --bind "$d/ssl" /etc/cups/ssl
  if [ -n "$peer" ]; then
    ns_run "$peer" ip link add kpx-"$peer" type veth peer name kpx-"$n" netns "${NS_PID[$n]}"
    ns_run "$peer" ip addr add 10.77.25.1/24 dev kpx-"$peer"
    ns_run "$n" ip addr add 10.77.25.2/24 dev kpx-"$n"
    ns_run "$peer" ip link set kpx-"$peer" up
    ns_run "$n" ip link set kpx-"$n" up
  fi
}

ns_avahi() {  # NAME
  local n=$1 d=${NS_DIR[$1]}
  ns_run "$n" dbus-daemon --system --fork --print-pid >"$d/dbus.pid"
  local ifs=lo
  ns_run "$n" ip -o link show | grep -q "kpx-$n" && ifs=lo,kpx-$n
  printf '[server]\nhost-name=%s\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=%s\nenable-dbus=yes\n[publish]\npublish-workstation=no\n' \
    "$(cat "$d/hostname")" "$ifs" >"$d/avahi.conf"
  ns_run "$n" avahi-daemon -f "$d/avahi.conf" --no-drop-root --no-chroot -D
  local i
  for i in $(seq 1 50); do
    ns_run "$n" avahi-browse -at -p >/dev/null 2>&1 && break
    sleep 0.1
  done
}

ns_stop_all() {
  local n pid
  for n in "${NS_ALL[@]}"; do
    [ -n "${NS_PID[$n]:-}" ] || continue
    pid=$(ns_run "$n" cat /run/avahi-daemon/pid 2>/dev/null) && kill "$pid" 2>/dev/null
    [ -s "${NS_DIR[$n]}/dbus.pid" ] && kill "$(cat "${NS_DIR[$n]}/dbus.pid")" 2>/dev/null
    kill "${NS_PID[$n]}" 2>/dev/null
  done
  true
}
