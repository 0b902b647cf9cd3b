#!/bin/bash
# The Samba AD test domain: provision into a folder, start on a loopback address, seed, stop.
# Everything it writes lives under --dir; see README.md beside this file.
set -euo pipefail
# The servers started here resolve names the ordinary way, never through the name resolution
# the tests give their own processes (tests/support/test-resolver.sh).
unset LD_PRELOAD NSS_WRAPPER_HOSTS RESOLV_WRAPPER_CONF

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
PY=/usr/bin/python3          # Samba's Python modules live with the system interpreter

REALM=ARVENDEL.TEST
DNS_DOMAIN=arvendel.test
NETBIOS=ARVENDEL
BASE_DN="DC=arvendel,DC=test"
HOST=DC1
DNS_HOST="dc1.$DNS_DOMAIN"
# Deterministic test-only passwords (documented in README.md). They reach Samba through the
# environment of the helper processes, never through a command line.
ADMIN_PASSWORD='Arvendel-Adm1n!'
DELEGATE_NAME=arv.delegate
DELEGATE_PASSWORD='Arvendel-Deleg4te!'
USER_PASSWORD='Arvendel-User1!'

usage() {
    cat <<EOF
usage: testdomain.sh <command> --dir DIR [--addr 127.0.0.X] [--large [N]] [--dns] [--keep]
                    [--addr2 127.0.0.Y] [--name-address]
commands:
  up         provision, start, wait, seed and write facts as needed (idempotent)
  provision  create the domain in an empty DIR (schema extension and seed included)
  start      start the server on --addr (default 127.0.0.21)
  wait       wait until LDAP answers
  seed       seed the directory (offline; a running server is stopped and started again)
  facts      write DIR/facts.env and print it
  stop       stop the server started from DIR and wait until it is gone
  status     print whether the server of DIR runs
  clone      copy a stopped, seeded folder (--from TEMPLATE) to DIR for another address
  dns        serve the domain's zone with Samba's internal DNS on --addr (port 53)
  join-dc    join a second domain controller DC2 on --addr2 (DIR/dc2) and start it
  stop-dc2   stop the second domain controller
options:
  --dns      with up: also serve DNS (as the dns command)
  --addr2 A  the second domain controller's loopback address (join-dc)
  --name-address  with join-dc: DC2's certificate and Kerberos service names also name its
             address, for a domain whose host names only its own DNS server knows (the demo);
             without it they name only its host names, as a real controller's do
  --large N  seed N extra users offline (default 20000) for benchmarks
  --keep     accepted for compatibility, no effect
EOF
}

die() { echo "testdomain: $*" >&2; exit 1; }
log() { echo "testdomain: $*" >&2; }

CMD=${1:-}
[ -n "$CMD" ] || { usage >&2; exit 2; }
shift
DIR=""; ADDR=""; LARGE=0; FROM=""; DNS=""; ADDR2=""; NAME_ADDRESS=""
while [ $# -gt 0 ]; do
    case "$1" in
        --dir) DIR=$2; shift 2 ;;
        --dir=*) DIR=${1#*=}; shift ;;
        --addr) ADDR=$2; shift 2 ;;
        --addr=*) ADDR=${1#*=}; shift ;;
        --from) FROM=$2; shift 2 ;;
        --from=*) FROM=${1#*=}; shift ;;
        --large)
            if [ $# -gt 1 ] && [[ $2 =~ ^[0-9]+$ ]]; then LARGE=$2; shift 2; else LARGE=20000; shift; fi ;;
        --large=*) LARGE=${1#*=}; shift ;;
        --keep) shift ;;
        --dns) DNS=1; shift ;;
        --addr2) ADDR2=$2; shift 2 ;;
        --addr2=*) ADDR2=${1#*=}; shift ;;
        --name-address) NAME_ADDRESS=1; shift ;;
        -h|--help) usage; exit 0 ;;
        *) usage >&2; die "unknown option '$1'" ;;
    esac
done
case "$CMD" in -h|--help|help) usage; exit 0 ;; esac
[ -n "$DIR" ] || die "--dir DIR is required"
[[ $LARGE =~ ^[0-9]+$ ]] || die "--large needs a number of users"
mkdir -p "$DIR"
DIR=$(cd "$DIR" && pwd)
DC="$DIR/dc"                      # Samba's own tree (etc/, private/, state/, ...)
CONF="$DC/etc/smb.conf"
RUN="$DIR/run"
PIDFILE="$RUN/testdomain.pid"
LOGFILE="$DIR/samba.log"
TLS="$DIR/tls"
KRB5="$DIR/krb5.conf"

# The address: given, else the one the folder was set up for, else the default.
if [ -z "$ADDR" ] && [ -f "$DIR/addr" ]; then ADDR=$(cat "$DIR/addr"); fi
ADDR=${ADDR:-127.0.0.21}
[[ $ADDR =~ ^127\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "--addr must be a loopback address 127.x.y.z, not '$ADDR'"

[ "$(id -u)" = 0 ] || die "must run as root (Samba's AD DC needs it)"

ldap_answers() {
    ldapsearch -x -H "ldap://$ADDR" -b '' -s base -LLL -o nettimeout=2 dn >/dev/null 2>&1
}

server_pid() {
    # The pid of our server when it runs, else nothing.
    [ -f "$PIDFILE" ] || return 0
    local pid; pid=$(cat "$PIDFILE" 2>/dev/null || true)
    [[ $pid =~ ^[0-9]+$ ]] || return 0
    # Only a samba process started in our folder counts (pids get reused; samba rewrites its
    # command line, so the working directory it was started in identifies it).
    if [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(command -v samba)" ] \
            && [ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" = "$RUN" ]; then
        echo "$pid"
    fi
}

is_running() { [ -n "$(server_pid)" ]; }

large_count() { cat "$DIR/.large" 2>/dev/null || echo 0; }

# The schema extension a folder was provisioned with, as a hash of exchange-schema.ldif; a
# folder without the record predates it and counts as made from another schema.
SCHEMA_LDIF="$HERE/exchange-schema.ldif"
schema_hash() { sha256sum "$SCHEMA_LDIF" | cut -d' ' -f1; }
schema_current() { [ "$(cat "$DIR/.schema" 2>/dev/null)" = "$(schema_hash)" ]; }

# ---------------------------------------------------------------------------------------------
# Configuration that depends on the address: smb.conf interface, TLS certificate, krb5.conf.

configure_address() {
    local want=$1
    # A loopback address other than 127.0.0.1 must be given with its mask, else Samba finds
    # "no network interfaces" (lo carries only 127.0.0.1/8).
    sed -i -e "s#^\tinterfaces = .*#\tinterfaces = $want/8#" "$CONF"
    echo "$want" > "$DIR/addr"
    make_tls "$want"
    write_krb5 "$want"
    # The DC account needs ldap/<address> for Kerberos binds to ldap://<address>.
    ADDR=$want offline spn >> "$DIR/provision.log" 2>&1 || die "setting the SPNs failed, see $DIR/provision.log"
}

make_tls() {
    local want=$1
    mkdir -p "$TLS"
    chmod 700 "$TLS"
    if [ ! -f "$TLS/ca.pem" ]; then
        openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -sha256 \
            -subj "/O=Arvendel Test/CN=Arvendel Test CA" \
            -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
            -keyout "$TLS/ca.key" -out "$TLS/ca.pem" >/dev/null 2>&1
    fi
    openssl req -newkey rsa:2048 -nodes -sha256 -subj "/O=Arvendel Test/CN=$DNS_HOST" \
        -keyout "$TLS/server.key" -out "$TLS/server.csr" >/dev/null 2>&1
    cat > "$TLS/server.ext" <<EOF
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=IP:$want,DNS:$DNS_HOST,DNS:$HOST
EOF
    openssl x509 -req -in "$TLS/server.csr" -CA "$TLS/ca.pem" -CAkey "$TLS/ca.key" -CAcreateserial \
        -days 3650 -sha256 -extfile "$TLS/server.ext" -out "$TLS/server.pem" >/dev/null 2>&1
    chmod 600 "$TLS/server.key" "$TLS/ca.key"
    chmod 644 "$TLS/ca.pem" "$TLS/server.pem"
}

write_krb5() {
    local want=$1
    cat > "$KRB5" <<EOF
[libdefaults]
    default_realm = $REALM
    dns_lookup_realm = false
    dns_lookup_kdc = false
    rdns = false
    dns_canonicalize_hostname = false
    udp_preference_limit = 1

[realms]
    $REALM = {
        kdc = $want
        admin_server = $want
    }

[domain_realm]
    .$DNS_DOMAIN = $REALM
    $DNS_DOMAIN = $REALM
    $want = $REALM
EOF
    chmod 644 "$KRB5"
}

write_smb_conf() {
    # Keep everything of this server inside DIR, and run only what the tests need.
    sed -i -e 's/^\tserver services = .*/\tserver services = ldap, kdc, cldap/' \
           -e "s#^\tlog file = .*#\tlog file = $DIR/log.%m#" \
           -e "s#^\tpath = /var/lib/samba/printers#\tpath = $DC/printers#" "$CONF"
    sed -i -e "/^\[global\]/a\\
\tinterfaces = $ADDR/8\\
\tbind interfaces only = yes\\
\tldap server require strong auth = no\\
\tpid directory = $RUN\\
\tncalrpc dir = $DC/ncalrpc\\
\twinbindd socket directory = $DC/winbindd\\
\tntp signd socket directory = $DC/ntp_signd\\
\tnsupdate command = /bin/false\\
\ttls enabled = yes\\
\ttls keyfile = $TLS/server.key\\
\ttls certfile = $TLS/server.pem\\
\ttls cafile = $TLS/ca.pem\\
\tkerberos method = secrets and keytab\\
\tdebug pid = yes" "$CONF"
    mkdir -p "$RUN" "$DC/ncalrpc" "$DC/winbindd" "$DC/ntp_signd" "$DC/printers"
}

# ---------------------------------------------------------------------------------------------

offline() {
    # Runs the Python helper against the stopped database. Passwords travel in the environment.
    # Every add reads and rewrites Samba's index records of the values all users share
    # (objectClass, objectCategory, the OU's one-level index, ...), buffers that grow with the
    # directory; with the C library's defaults the heap gives those pages back after each add
    # and faults them in afresh on the next. Keeping them saves CPU on a large seed; the
    # rewriting itself still makes each add dearer as the directory grows.
    GLIBC_TUNABLES="glibc.malloc.trim_threshold=1073741824:glibc.malloc.top_pad=67108864${GLIBC_TUNABLES:+:$GLIBC_TUNABLES}" \
    ARV_ADMIN_PASSWORD="$ADMIN_PASSWORD" ARV_DELEGATE_PASSWORD="$DELEGATE_PASSWORD" \
    ARV_USER_PASSWORD="$USER_PASSWORD" ARV_DELEGATE_NAME="$DELEGATE_NAME" \
    ARV_ADDR="$ADDR" ARV_DNS_HOST="$DNS_HOST" ARV_HOST="$HOST" ARV_DIR="$DIR" \
        "$PY" "$HERE/domaintool.py" --conf "$CONF" "$@"
}

do_provision() {
    if [ -f "$DIR/.provisioned" ]; then log "already provisioned: $DIR"; return 0; fi
    is_running && die "a server runs from $DIR; stop it first"
    # A second controller joined to the old database cannot serve the new one.
    do_stop_dc2
    rm -rf "$DC" "$TLS" "$RUN" "$DC2_DIR" "$DC2_RUN" "$DIR/.seeded" "$DIR/.large" "$DIR/.schema" \
        "$DIR/facts.env" "$DIR/.dns" "$DIR/.joined" "$DIR/addr2" "$DIR/.dc2names"
    mkdir -p "$DC"
    chmod 700 "$DIR"
    local t0=$SECONDS
    # Without --adminpass provisioning makes a random one (replaced below); its log line is dropped.
    if ! samba-tool domain provision --realm="$REALM" --domain="$NETBIOS" --server-role=dc \
            --dns-backend=NONE --backend-store=mdb --host-name="$HOST" --use-rfc2307 \
            --targetdir="$DC" 2>&1 | grep -vi 'password' > "$DIR/provision.log"; then
        :
    fi
    [ -f "$CONF" ] && [ -e "$DC/private/sam.ldb" ] || die "provisioning failed, see $DIR/provision.log"
    write_smb_conf
    configure_address "$ADDR"
    offline schema "$SCHEMA_LDIF" >> "$DIR/provision.log" 2>&1 \
        || die "schema extension failed, see $DIR/provision.log"
    schema_hash > "$DIR/.schema"
    offline base >> "$DIR/provision.log" 2>&1 || die "setting up accounts failed, see $DIR/provision.log"
    touch "$DIR/.provisioned"
    log "provisioned $REALM in $DIR ($((SECONDS - t0)) s)"
}

do_seed() {
    [ -f "$DIR/.provisioned" ] || die "no domain in $DIR; run provision first"
    if [ -f "$DIR/.seeded" ] && [ "$LARGE" -le "$(large_count)" ]; then log "already seeded"; return 0; fi
    local was_running=""
    if is_running; then was_running=1; do_stop; fi
    local t0=$SECONDS
    if [ ! -f "$DIR/.seeded" ]; then
        if ! offline seed >> "$DIR/seed.log" 2>&1; then
            # A half-written seed cannot be completed; the next up starts from scratch.
            rm -f "$DIR/.provisioned"
            die "seeding failed, see $DIR/seed.log; the next 'up' provisions the folder again"
        fi
        touch "$DIR/.seeded"
        log "seeded ($((SECONDS - t0)) s)"
    fi
    local have; have=$(large_count)
    if [ "$LARGE" -gt "$have" ]; then
        # --large N means N users in the large OU: a copied 20,000-user template grows to
        # 100,000 by adding the missing 80,000.
        t0=$SECONDS
        offline large "$((LARGE - have))" >> "$DIR/seed.log" 2>&1 || die "large seeding failed, see $DIR/seed.log"
        echo "$LARGE" > "$DIR/.large"
        log "seeded $((LARGE - have)) large-domain users, $LARGE in all ($((SECONDS - t0)) s)"
    fi
    if [ -n "$was_running" ]; then do_start; do_wait; fi
}

do_dns() {
    # The zone lives in the directory's DNS partitions, which a domain provisioned without DNS
    # lacks; they are made once, offline. The server then also runs the dns service.
    [ -f "$DIR/.provisioned" ] || die "no domain in $DIR; run provision first"
    [ -f "$DIR/.dns" ] && return 0
    local was_running=""
    if is_running; then was_running=1; do_stop; fi
    if ! samba-tool group show DnsAdmins -H "$DC/private/sam.ldb" -s "$CONF" >/dev/null 2>&1; then
        samba-tool group add DnsAdmins --description="DNS Administrators Group" \
            -H "$DC/private/sam.ldb" -s "$CONF" >> "$DIR/provision.log" 2>&1 \
            || die "adding DnsAdmins failed, see $DIR/provision.log"
    fi
    ARV_ADDR="$ADDR" "$PY" "$HERE/dnszone.py" "$CONF" >> "$DIR/provision.log" 2>&1 \
        || die "making the DNS zone failed, see $DIR/provision.log"
    sed -i -e 's/^\tserver services = \(.*\)$/\tserver services = \1, dns/' "$CONF"
    touch "$DIR/.dns"
    log "DNS zone $DNS_DOMAIN served on $ADDR:53"
    if [ -n "$was_running" ]; then do_start; do_wait; fi
}

# ---------------------------------------------------------------------------------------------
# A second domain controller, DC2, joined to the domain and replicating with DC1. Joining and
# replication need DC1's rpc and drepl services, which the fast start leaves out; they are
# added to DC1 only by this command.

DC2_DIR="$DIR/dc2"
DC2_CONF="$DC2_DIR/etc/smb.conf"
DC2_RUN="$DIR/run2"
DC2_PIDFILE="$DC2_RUN/samba.pid"

dc2_pid() { RUN=$DC2_RUN PIDFILE=$DC2_PIDFILE server_pid; }

do_stop_dc2() {
    [ -n "$(dc2_pid)" ] || { rm -f "$DC2_PIDFILE"; return 0; }
    RUN=$DC2_RUN PIDFILE=$DC2_PIDFILE do_stop
}

# Adds (add) or removes (delete) one of DC2's service names, when it is missing or there.
dc2_spn() {
    local have=""
    if PASSWD="$ADMIN_PASSWORD" samba-tool spn list 'DC2$' -H "ldap://$ADDR" -U Administrator -W "$NETBIOS" \
            2>>"$DIR/join.log" | grep -qix "[[:space:]]*$2"; then
        have=1
    fi
    if { [ "$1" = add ] && [ -z "$have" ]; } || { [ "$1" = delete ] && [ -n "$have" ]; }; then
        PASSWD="$ADMIN_PASSWORD" samba-tool spn "$1" "$2" 'DC2$' -H "ldap://$ADDR" -U Administrator -W "$NETBIOS" \
            >> "$DIR/join.log" 2>&1 || die "samba-tool spn $1 $2 failed, see $DIR/join.log"
    fi
}

# What DC2's certificate and service names name: its host names, as a real controller's do
# (clients reach it by name), or with --name-address its address too.
dc2_naming() { if [ -n "$NAME_ADDRESS" ]; then echo "hosts address"; else echo "hosts"; fi; }

make_tls_dc2() {
    # DC2's certificate, issued by the folder's CA like DC1's.
    local t="$DC2_DIR/tls" san="DNS:dc2.$DNS_DOMAIN,DNS:DC2"
    [ -z "$NAME_ADDRESS" ] || san="IP:$ADDR2,$san"
    mkdir -p "$t"; chmod 700 "$t"
    openssl req -newkey rsa:2048 -nodes -sha256 -subj "/O=Arvendel Test/CN=dc2.$DNS_DOMAIN" \
        -keyout "$t/server.key" -out "$t/server.csr" >/dev/null 2>&1
    printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature,keyEncipherment" \
        "extendedKeyUsage=serverAuth" "subjectAltName=$san" > "$t/server.ext"
    openssl x509 -req -in "$t/server.csr" -CA "$TLS/ca.pem" -CAkey "$TLS/ca.key" -CAcreateserial \
        -days 3650 -sha256 -extfile "$t/server.ext" -out "$t/server.pem" >/dev/null 2>&1
    chmod 600 "$t/server.key"
}

do_join_dc() {
    [ -f "$DIR/.joined" ] && ADDR2=${ADDR2:-$(cat "$DIR/addr2" 2>/dev/null)}
    [[ $ADDR2 =~ ^127\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "join-dc needs --addr2 127.x.y.z"
    [ "$ADDR2" != "$ADDR" ] || die "--addr2 must differ from --addr"
    [ -f "$DIR/.dns" ] || do_dns
    if ! grep -q 'server services = .*drepl' "$CONF"; then
        sed -i -e 's/^\tserver services = \(.*\)$/\tserver services = \1, rpc, drepl/' "$CONF"
        is_running && do_stop
    fi
    is_running || { do_start; do_wait; }
    if [ ! -f "$DIR/.joined" ]; then
        do_stop_dc2
        rm -rf "$DC2_DIR" "$DC2_RUN"
        mkdir -p "$DC2_DIR" "$DC2_RUN"
        local t0=$SECONDS
        if ! PASSWD="$ADMIN_PASSWORD" KRB5_CONFIG="$KRB5" "$PY" "$HERE/joindc.py" "$DNS_DOMAIN" DC \
                -U Administrator -W "$NETBIOS" --server="$ADDR" --targetdir="$DC2_DIR" --dns-backend=SAMBA_INTERNAL \
                --option="netbios name = DC2" --option="interfaces = $ADDR2/8" \
                --option="bind interfaces only = yes" > "$DIR/join.log" 2>&1; then
            die "joining DC2 failed, see $DIR/join.log"
        fi
        [ -f "$DC2_CONF" ] || die "the join wrote no $DC2_CONF, see $DIR/join.log"
        sed -i -e "/^\[global\]/a\\
\tserver services = ldap, kdc, cldap, dns, rpc, drepl\\
\tldap server require strong auth = no\\
\tpid directory = $DC2_RUN\\
\tncalrpc dir = $DC2_DIR/ncalrpc\\
\twinbindd socket directory = $DC2_DIR/winbindd\\
\tntp signd socket directory = $DC2_DIR/ntp_signd\\
\tnsupdate command = /bin/false\\
\tlog file = $DIR/log2.%m\\
\ttls enabled = yes\\
\ttls keyfile = $DC2_DIR/tls/server.key\\
\ttls certfile = $DC2_DIR/tls/server.pem\\
\ttls cafile = $TLS/ca.pem\\
\tdebug pid = yes" "$DC2_CONF"
        mkdir -p "$DC2_DIR/ncalrpc" "$DC2_DIR/winbindd" "$DC2_DIR/ntp_signd"
        # The controller's SRV record, as its DNS update would add it.
        PASSWD="$ADMIN_PASSWORD" samba-tool dns add "$ADDR" "_msdcs.$DNS_DOMAIN" _ldap._tcp.dc SRV \
            "dc2.$DNS_DOMAIN 389 0 100" -U Administrator -W "$NETBIOS" >> "$DIR/join.log" 2>&1 \
            || die "adding DC2's SRV record failed, see $DIR/join.log"
        rm -f "$DIR/.dc2names"
        echo "$ADDR2" > "$DIR/addr2"
        touch "$DIR/.joined"
        log "DC2 joined on $ADDR2 ($((SECONDS - t0)) s)"
    fi
    # The certificate and the service names, made at the join and again whenever the wanted
    # naming changes (a folder joined before keeps its database).
    if [ "$(cat "$DIR/.dc2names" 2>/dev/null)" != "$(dc2_naming)" ]; then
        make_tls_dc2
        # The LDAP service names of its host names, as a real controller has them (the join
        # gives it HOST/ names only); ldap/<ADDR2> only for binds by address.
        dc2_spn add "ldap/dc2.$DNS_DOMAIN"
        dc2_spn add "ldap/DC2"
        if [ -n "$NAME_ADDRESS" ]; then dc2_spn add "ldap/$ADDR2"; else dc2_spn delete "ldap/$ADDR2"; fi
        dc2_naming > "$DIR/.dc2names"
        # A running DC2 reads its certificate only when it starts.
        do_stop_dc2
        log "DC2's certificate and service names name: $(dc2_naming)"
    fi
    if [ -z "$(dc2_pid)" ]; then
        (cd "$DC2_RUN" && exec setsid samba -s "$DC2_CONF" -i --no-process-group < /dev/null >> "$DIR/samba2.log" 2>&1 9>&-) &
        echo $! > "$DC2_PIDFILE"
        local i
        for i in $(seq 1 600); do
            ldapsearch -x -H "ldap://$ADDR2" -b '' -s base -LLL -o nettimeout=2 dn >/dev/null 2>&1 && break
            [ -n "$(dc2_pid)" ] || die "DC2 exited during start-up, see $DIR/samba2.log"
            sleep 0.1
        done
        log "DC2 started on $ADDR2"
    fi
}

do_start() {
    [ -f "$DIR/.provisioned" ] || die "no domain in $DIR; run provision first"
    if is_running; then log "already running (pid $(server_pid))"; return 0; fi
    # The folder may have been set up for another address (a copied template).
    if [ "$(cat "$DIR/addr" 2>/dev/null)" != "$ADDR" ]; then configure_address "$ADDR"; fi
    if ldap_answers; then die "something else already answers LDAP on $ADDR"; fi
    mkdir -p "$RUN"
    rm -f "$RUN"/*.pid
    # Own session so that stop can end the whole process group; output to our log only, so the
    # caller (a CTest fixture) is not kept waiting on inherited pipes.
    (cd "$RUN" && exec setsid samba -s "$CONF" -i --no-process-group < /dev/null >> "$LOGFILE" 2>&1 9>&-) &
    echo $! > "$PIDFILE"
    log "started samba (pid $!) on $ADDR"
}

do_wait() {
    local i
    for i in $(seq 1 600); do
        if ldap_answers; then return 0; fi
        if ! is_running; then die "the server exited during start-up, see $LOGFILE"; fi
        sleep 0.1
    done
    die "LDAP on $ADDR did not answer within 60 s, see $LOGFILE"
}

do_stop() {
    local pid; pid=$(server_pid)
    if [ -z "$pid" ]; then rm -f "$PIDFILE"; log "not running"; return 0; fi
    local pgid; pgid=$(ps -o pgid= -p "$pid" | tr -d ' ')
    kill -TERM "$pid" 2>/dev/null || true
    local i
    for i in $(seq 1 100); do
        if ! kill -0 "$pid" 2>/dev/null && { [ -z "$pgid" ] || ! pgrep -g "$pgid" >/dev/null; }; then break; fi
        sleep 0.1
    done
    # Whatever of our own group survived ten seconds is killed.
    if [ -n "$pgid" ] && pgrep -g "$pgid" >/dev/null; then
        kill -KILL -- "-$pgid" 2>/dev/null || true
        for i in $(seq 1 50); do pgrep -g "$pgid" >/dev/null || break; sleep 0.1; done
    fi
    rm -f "$PIDFILE" "$RUN"/*.pid
    log "stopped"
}

kv() {
    # KEY=VALUE, single-quoted when the value holds anything a shell would interpret, so the
    # file can be sourced by scripts as well as read by tests/support/testdomain.cpp.
    if [[ $2 =~ ^[A-Za-z0-9._/:=,@+-]*$ ]]; then echo "$1=$2"; else echo "$1='$2'"; fi
}

do_facts() {
    [ -f "$DIR/.provisioned" ] || die "no domain in $DIR"
    local f="$DIR/facts.env"
    local tmp="$f.tmp"
    ( umask 077
      {
        echo "# Test domain facts, written by tests/domain/testdomain.sh (see its README.md)"
        kv ADDR "$ADDR"
        kv LDAP_PORT "389"
        kv LDAPS_PORT "636"
        kv LDAP_URI "ldap://$ADDR"
        kv LDAPS_URI "ldaps://$ADDR"
        kv HOST "$HOST"
        kv DNS_HOST "$DNS_HOST"
        kv REALM "$REALM"
        kv DNS_DOMAIN "$DNS_DOMAIN"
        kv NETBIOS "$NETBIOS"
        kv BASE_DN "$BASE_DN"
        kv ADMIN_NAME "Administrator"
        kv ADMIN_USER "$NETBIOS\\Administrator"
        kv ADMIN_UPN "Administrator@$REALM"
        kv ADMIN_DN "CN=Administrator,CN=Users,$BASE_DN"
        kv ADMIN_PASSWORD "$ADMIN_PASSWORD"
        kv DELEGATE_NAME "$DELEGATE_NAME"
        kv DELEGATE_USER "$NETBIOS\\$DELEGATE_NAME"
        kv DELEGATE_UPN "$DELEGATE_NAME@$DNS_DOMAIN"
        kv DELEGATE_DN "CN=Arvendel Delegate,OU=Service Accounts,OU=Arvendel,$BASE_DN"
        kv DELEGATE_PASSWORD "$DELEGATE_PASSWORD"
        kv DELEGATE_OU "OU=Helpdesk Managed,OU=Staff,OU=Arvendel,$BASE_DN"
        kv USER_PASSWORD "$USER_PASSWORD"
        kv SEED_OU "OU=Arvendel,$BASE_DN"
        kv SEEDED "$([ -f "$DIR/.seeded" ] && echo 1 || echo 0)"
        kv LARGE_USERS "$(cat "$DIR/.large" 2>/dev/null || echo 0)"
        kv LARGE_OU "OU=Large Domain,$BASE_DN"
        kv CA_FILE "$TLS/ca.pem"
        kv KRB5_CONFIG "$KRB5"
        kv SMB_CONF "$CONF"
        kv PID_FILE "$PIDFILE"
        kv LOG_FILE "$LOGFILE"
        kv DNS_SERVER "$([ -f "$DIR/.dns" ] && echo "$ADDR")"
        kv DC2_ADDR "$([ -f "$DIR/.joined" ] && cat "$DIR/addr2")"
        kv DC2_DNS_HOST "$([ -f "$DIR/.joined" ] && echo "dc2.$DNS_DOMAIN")"
        kv RESOLVER_DIR "$DIR/resolver"
      } > "$tmp" )
    mv -f "$tmp" "$f"
    # The controllers' host names as the tests' own resolver knows them (hosts file for
    # nss_wrapper, the domain's DNS server for resolv_wrapper; tests/support/test-resolver.sh).
    mkdir -p "$DIR/resolver"
    {
        echo "$ADDR $DNS_HOST $HOST"
        if [ -f "$DIR/.joined" ]; then echo "$(cat "$DIR/addr2") dc2.$DNS_DOMAIN DC2"; fi
    } > "$DIR/resolver/hosts"
    if [ -f "$DIR/.dns" ]; then echo "nameserver $ADDR" > "$DIR/resolver/resolv.conf"; else rm -f "$DIR/resolver/resolv.conf"; fi
}

do_status() {
    if is_running; then
        if ldap_answers; then echo "running (pid $(server_pid)) on $ADDR, LDAP answers"; else echo "running (pid $(server_pid)) on $ADDR, LDAP not answering"; fi
    else
        echo "stopped"; return 3
    fi
}

do_clone() {
    [ -n "$FROM" ] || die "clone needs --from TEMPLATE"
    FROM=$(cd "$FROM" && pwd)
    [ -f "$FROM/.provisioned" ] || die "$FROM holds no provisioned domain"
    [ "$FROM" != "$DIR" ] || die "--from and --dir are the same folder"
    if [ -n "$(RUN=$FROM/run PIDFILE=$FROM/run/testdomain.pid server_pid)" ]; then
        die "the template's server runs; stop it first (a live LMDB copy is not consistent)"
    fi
    is_running && die "a server runs from $DIR; stop it first"
    find "$DIR" -mindepth 1 -delete
    cp -a "$FROM/." "$DIR/"
    rm -f "$DIR/facts.env" "$DIR"/run/*.pid "$DIR"/samba.log "$DIR"/log.*
    # Paths inside the configuration name the template's folder.
    sed -i "s#$FROM/#$DIR/#g" "$CONF"
    configure_address "$ADDR"
    log "cloned $FROM to $DIR for $ADDR"
}

# The whole command runs from one parsed function, so editing this file while a long command
# runs (a large seed) cannot change what the running command executes next.
main() {
    # One command at a time per folder.
    exec 9> "$DIR/.lock"
    flock -w 900 9 || die "another testdomain.sh command holds $DIR/.lock"

    case "$CMD" in
        provision) do_provision ;;
        start) do_start ;;
        wait) do_wait ;;
        seed) do_seed ;;
        facts) do_facts; sed -E "s/^([A-Z_]*PASSWORD)=.*/\1=<in $(printf '%s' "$DIR" | sed 's/[\/&]/\\&/g')\/facts.env>/" "$DIR/facts.env" ;;
        stop) do_stop_dc2; do_stop ;;
        status) do_status ;;
        clone) do_clone ;;
        dns) do_dns; [ ! -f "$DIR/facts.env" ] || do_facts ;;
        join-dc) do_join_dc; do_facts ;;
        stop-dc2) do_stop_dc2 ;;
        up)
            if is_running && ldap_answers && [ -f "$DIR/.seeded" ] && [ -f "$DIR/facts.env" ] \
                    && [ "$(cat "$DIR/addr" 2>/dev/null)" = "$ADDR" ] \
                    && [ "$LARGE" -le "$(large_count)" ] && schema_current \
                    && { [ -z "$DNS" ] || [ -f "$DIR/.dns" ]; }; then
                exit 0
            fi
            t0=$SECONDS
            # The seeded states are relative to the day of seeding (expiring within 30 days,
            # passwords set 0-80 days ago, ...); a day later they begin to drift, so an
            # ordinary test domain is made afresh. Large-domain folders are kept.
            if [ -f "$DIR/.seeded" ] && [ ! -f "$DIR/.large" ] && [ -n "$(find "$DIR/.seeded" -mmin +1440)" ]; then
                log "the seed is older than a day; provisioning afresh"
                is_running && do_stop
                rm -f "$DIR/.provisioned"
            fi
            # A folder made from another exchange-schema.ldif would let tests run against
            # attributes the file no longer describes (or without ones it added); it is made
            # afresh, a large-domain folder with as many large-domain users as before.
            if [ -f "$DIR/.provisioned" ] && ! schema_current; then
                log "exchange-schema.ldif changed since $DIR was provisioned; provisioning afresh"
                is_running && do_stop
                [ "$(large_count)" -le "$LARGE" ] || LARGE=$(large_count)
                rm -f "$DIR/.provisioned"
            fi
            if [ ! -f "$DIR/.provisioned" ]; then
                is_running && do_stop
                do_provision
            fi
            if [ ! -f "$DIR/.seeded" ] || [ "$LARGE" -gt "$(large_count)" ]; then
                is_running && do_stop
                do_seed
            fi
            if is_running && [ "$(cat "$DIR/addr" 2>/dev/null)" != "$ADDR" ]; then do_stop; fi
            if [ -n "$DNS" ] && [ ! -f "$DIR/.dns" ]; then do_dns; fi
            do_start
            do_wait
            do_facts
            log "up on $ADDR ($((SECONDS - t0)) s); facts in $DIR/facts.env"
            ;;
        *) usage >&2; die "unknown command '$CMD'" ;;
    esac
}

main; exit $?
