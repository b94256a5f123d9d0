#!/usr/bin/env bash
# A private Dovecot POP3 server for the tests.
#
#   harness.sh start BUILD_DIR   writes BUILD_DIR/dovecot/{dovecot.conf,users,mail/,dovecot.log,env}
#                                and starts the server; exits 77 when it can't run here (not root and
#                                Dovecot refuses to start as this user)
#   harness.sh stop BUILD_DIR    stops it and removes its runtime folder; safe to call again
#
# BUILD_DIR/dovecot/env exports QUILLPOST_DOVECOT_{HOST,PORT,LOG,ALICE_SIZE} for the test run.
# Nothing under /etc/dovecot is read or written; the server listens on loopback addresses only, on
# free unprivileged ports.
#
# As Debian ships it, the server refuses logins in plain text and offers STLS on the plain port:
# QUILLPOST_DOVECOT_HOST is a loopback address of this run's own (a client there comes from
# 127.0.0.1, which Dovecot does not count as secured), and as root that address also listens on
# port 110 (QUILLPOST_DOVECOT_BARE_HOST), where a bare server name connects. Only at
# QUILLPOST_DOVECOT_PLAINTEXT_HOST, on the same plain port, does the server offer no STLS and
# accept plain text logins, for clients that measure or drive plain POP3.
#
# POP3 over TLS listens on a second port, at four loopback addresses that each present another
# certificate (see make_certificates); the env file adds QUILLPOST_DOVECOT_TLS_* for them. STLS on
# the plain port presents the same certificates at the same addresses.
#
# OAuth 2: wherever USER/PASS works, so do SASL XOAUTH2 and OAUTHBEARER (a bearer token counts as a
# password: over TLS, and in plain text only at QUILLPOST_DOVECOT_PLAINTEXT_HOST). Dovecot asks a
# token introspection endpoint about each token, quillpost_token_verifier (tests/dovecot/
# TokenVerifier.h), which the harness runs on a free port of 127.0.0.1 beside the server:
# BUILD_DIR/tests/quillpost_token_verifier, or QUILLPOST_INTROSPECTION_STUB when set (the build
# must have made it). The env file adds:
#   QUILLPOST_DOVECOT_OAUTH_TOKENS      the good tokens, one "TOKEN USERNAME" a line, read at every
#                                       login: a test may append tokens of its own
#   QUILLPOST_DOVECOT_OAUTH_TOKEN       a good token for alice, made anew on every start
#   QUILLPOST_DOVECOT_OAUTH_LOG         the stub's log: a line for each token Dovecot asked about,
#                                       with a SHA-256 prefix of it, never the token
#   QUILLPOST_DOVECOT_OAUTHBEARER_HOST  127.0.0.6, where the server offers SASL PLAIN and
#                                       OAUTHBEARER but not XOAUTH2
#   QUILLPOST_DOVECOT_OAUTHBEARER_PORT  its POP3-over-TLS port (the TLS port); the plain port there
#                                       offers STLS, and then the same
# Dovecot 2.3 takes one list of mechanisms for all its listeners, so that address belongs to a
# second instance from the same template, started and stopped with the first, logging into the same
# file. A good login logs "Login: user=<alice>, method=XOAUTH2" (or OAUTHBEARER); a bad token
# "oauth2 failed: Introspection failed: Provided token is not valid". Dovecot 2.3 turns down an
# OAUTHBEARER login that names no user (no "a=alice" in its first part) without asking the stub.
set -euo pipefail

readonly HOST=127.0.0.1
# TLS listeners: a good certificate at HOST, and one at each of these that must be turned down.
readonly TLS_OTHER_NAME_HOST=127.0.0.2
readonly TLS_EXPIRED_HOST=127.0.0.3
readonly TLS_UNTRUSTED_HOST=127.0.0.4
readonly PLAINTEXT_HOST=127.0.0.5
# The second instance's address: OAUTHBEARER but not XOAUTH2.
readonly OAUTHBEARER_HOST=127.0.0.6
readonly INSTANCE=quillpost-test
readonly OAUTHBEARER_INSTANCE=quillpost-test-oauthbearer
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
readonly HERE
readonly SKIP=77

die() {
    echo "dovecot harness: $*" >&2
    exit 1
}

usage() {
    echo "usage: $0 start|stop BUILD_DIR" >&2
    exit 2
}

[[ $# -eq 2 ]] || usage
action=$1
mkdir -p "$2"
build_dir="$(cd "$2" && pwd)"
work="$build_dir/dovecot"
conf="$work/dovecot.conf"
oauthbearer_conf="$work/dovecot-oauthbearer.conf"
state="$work/state.sh"

# Ports below the kernel's ephemeral range, so outgoing connections never hold them.
port_in_use() { (exec 3<>"/dev/tcp/$HOST/$1") 2>/dev/null; }
pick_port() {
    local port
    for _ in $(seq 50); do
        port=$((20000 + RANDOM % 12000))
        port_in_use "$port" || {
            echo "$port"
            return
        }
    done
    die "no free port found"
}

# A loopback address for this run's plain listeners, with port 110 free there.
pick_plain_host() {
    local host
    for _ in $(seq 20); do
        host=127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))
        (exec 3<>"/dev/tcp/$host/110") 2>/dev/null || {
            echo "$host"
            return
        }
    done
    die "no free loopback address found"
}

# POP3 sizes count line ends as CR LF whatever the stored file uses.
pop3_size() { sed 's/\r$//; s/$/\r/' "$@" | wc -c; }

# One raw session: USER, PASS, STAT, QUIT. Prints the server's replies.
pop3_stat_session() {
    local host=$1 port=$2 user=$3 pass=$4
    # shellcheck disable=SC2016 # expanded by the inner shell
    timeout 10 bash -c '
        exec 3<>"/dev/tcp/$0/$1"
        printf "USER %s\r\nPASS %s\r\nSTAT\r\nQUIT\r\n" "$2" "$3" >&3
        cat <&3' "$host" "$port" "$user" "$pass" | tr -d '\r'
}

# tls_session HOST PORT LINE...: one raw session over POP3 over TLS, the certificate checked against
# the test authority; sends the lines at once and prints the server's replies.
tls_session() {
    local host=$1 port=$2
    shift 2
    printf '%s\r\n' "$@" | timeout 10 openssl s_client -quiet -connect "$host:$port" \
        -CAfile "$work/tls/ca.pem" -verify_return_error -verify_ip "$host" 2>/dev/null | tr -d '\r'
}

# The client's first message of SASL XOAUTH2, base64-encoded.
xoauth2_response() { printf 'user=%s\001auth=Bearer %s\001\001' "$1" "$2" | base64 -w 0; }

# make_authority DIR NAME COMMON_NAME: a self-signed authority DIR/NAME.{pem,key} that can issue
# with `openssl ca`.
make_authority() {
    local dir=$1 name=$2 cn=$3
    openssl req -x509 -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 \
        -subj "/CN=$cn" -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -keyout "$dir/$name.key" -out "$dir/$name.pem" 2>/dev/null
    : >"$dir/$name.index"
    openssl rand -hex 8 >"$dir/$name.serial"
    printf '%s\n' "[ca]" "default_ca = issuer" "[issuer]" "database = $dir/$name.index" \
        "serial = $dir/$name.serial" \
        "new_certs_dir = $dir" "default_md = sha256" "policy = any_name" "unique_subject = no" \
        "[any_name]" "commonName = supplied" >"$dir/$name.cnf"
}

# issue DIR AUTHORITY NAME COMMON_NAME SUBJECT_ALT_NAMES [START END]: a server certificate
# DIR/NAME.{pem,key}, valid from now for 30 days unless START and END (YYYYMMDDHHMMSSZ) are given.
issue() {
    local dir=$1 authority=$2 name=$3 cn=$4 san=$5 dates
    if [[ $# -eq 7 ]]; then dates=(-startdate "$6" -enddate "$7"); else dates=(-days 30); fi
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$cn" \
        -keyout "$dir/$name.key" -out "$dir/$name.csr" 2>/dev/null
    printf '%s\n' "basicConstraints = critical, CA:FALSE" "keyUsage = critical, digitalSignature" \
        "extendedKeyUsage = serverAuth" "subjectAltName = $san" >"$dir/$name.ext"
    openssl ca -batch -notext -config "$dir/$authority.cnf" -cert "$dir/$authority.pem" \
        -keyfile "$dir/$authority.key" -extfile "$dir/$name.ext" "${dates[@]}" \
        -in "$dir/$name.csr" -out "$dir/$name.pem" 2>"$dir/$name.err" ||
        die "openssl could not issue the $name certificate: $(cat "$dir/$name.err")"
}

# The test authority (trusted only by the tests that load ca.pem) and the certificates of the TLS
# listeners, made anew on every start.
make_certificates() {
    local dir=$1 plain_host=$2
    mkdir -p "$dir"
    make_authority "$dir" ca "Quillpost Test CA"
    make_authority "$dir" untrusted-ca "Quillpost Untrusted CA"
    issue "$dir" ca good "Quillpost test server" \
        "IP:$HOST, IP:$plain_host, IP:$OAUTHBEARER_HOST, DNS:localhost"
    issue "$dir" ca other-name "Quillpost other server" "DNS:mail.other.test"
    issue "$dir" ca expired "Quillpost expired server" "IP:$TLS_EXPIRED_HOST" 20200101000000Z 20210101000000Z
    issue "$dir" untrusted-ca untrusted "Quillpost untrusted server" "IP:$TLS_UNTRUSTED_HOST"
}

# The TLS settings: the good certificate by default, another one for each address that needs it.
tls_settings() {
    local dir=$work/tls local_address name
    echo "ssl = yes"
    echo "ssl_cert = <$dir/good.pem"
    echo "ssl_key = <$dir/good.key"
    for local_address in "$TLS_OTHER_NAME_HOST=other-name" "$TLS_EXPIRED_HOST=expired" \
        "$TLS_UNTRUSTED_HOST=untrusted"; do
        name=${local_address#*=}
        printf 'local %s {\n  ssl_cert = <%s\n  ssl_key = <%s\n}\n' \
            "${local_address%%=*}" "$dir/$name.pem" "$dir/$name.key"
    done
    printf 'local %s {\n  ssl = no\n  disable_plaintext_auth = no\n}\n' "$PLAINTEXT_HOST"
}

# Root can't own the mailboxes (Dovecot refuses mail access as root), so they belong to the
# `dovecot` account and each user is chrooted into its own folder ("/./" in the home), which needs
# no access to the folders above. Auth runs as root to read the users file wherever the build is.
# Without root everything runs as the current user.
#
# write_config CONF INSTANCE RUN_DIR MECHANISMS LISTENERS: one instance, with these SASL mechanisms
# and these listeners of pop3-login.
write_config() {
    local conf=$1 instance=$2 run_dir=$3 mechanisms=$4 listeners=$5 user privileges state_dir=$work/state
    # The first instance keeps the folder it always had.
    [[ $instance == "$INSTANCE" ]] || state_dir=$work/state-$instance
    mkdir -p "$state_dir"
    if [[ $(id -u) -eq 0 ]]; then
        user=dovecot
        privileges="default_internal_user = dovecot
default_login_user = dovenull
valid_chroot_dirs = $work/mail
service auth {
  user = root
}"
    else
        user=$(id -un)
        privileges="default_internal_user = $user
default_internal_group = $(id -gn)
default_login_user = $user
service anvil {
  chroot =
}
service pop3-login {
  chroot =
}"
    fi
    cat >"$conf" <<EOF
# Written by tests/dovecot/harness.sh for one test run.
instance_name = $instance
base_dir = $run_dir
state_dir = $state_dir
protocols = pop3
listen = $HOST
$(tls_settings)

# As Debian ships it: USER/PASS only over TLS. Bearer tokens count as passwords there too.
disable_plaintext_auth = yes
auth_mechanisms = $mechanisms
# Wrong passwords are a test case, not an attack to slow down: no delay, no growing penalty.
auth_failure_delay = 0
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}

# Everything, including what the clients sent at login, goes into one file.
log_path = $work/dovecot.log
auth_verbose = yes
auth_verbose_passwords = plain
auth_debug = yes

first_valid_uid = $(id -u "$user")
first_valid_gid = $(id -g "$user")
$privileges

# Bearer tokens: the introspection stub alone decides. On success the oauth2 passdb hands the token
# to the login process as a field, which auth_debug would log ("client passdb out"): it is
# overwritten. First, so that a wrong password is still the last passdb's mismatch in the log.
passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $work/dovecot-oauth2.conf.ext
  override_fields = token=<hidden>
}
# Passwords for PLAIN (and USER/PASS) only: a bearer token is never taken for a password, nor
# logged as a wrong one.
passdb {
  driver = passwd-file
  mechanisms = plain
  args = scheme=PLAIN username_format=%n $work/users
}
userdb {
  driver = passwd-file
  args = username_format=%n $work/users
}
mail_location = maildir:~/Maildir

service pop3-login {
$listeners
}
EOF
}

# The listeners of the first instance. Each listener of pop3-login gets its own port; a TLS one
# goes beside "pop3".
main_listeners() {
    local port=$1 tls_port=$2 plain_host=$3 bare_listener=$4
    cat <<EOF
  inet_listener pop3 {
    address = $plain_host $TLS_OTHER_NAME_HOST $TLS_EXPIRED_HOST $TLS_UNTRUSTED_HOST $PLAINTEXT_HOST
    port = $port
  }
$bare_listener
  inet_listener pop3s {
    address = $HOST $TLS_OTHER_NAME_HOST $TLS_EXPIRED_HOST $TLS_UNTRUSTED_HOST
    port = $tls_port
    ssl = yes
  }
EOF
}

# The second instance's listeners: the same ports, at an address of its own.
oauthbearer_listeners() {
    local port=$1 tls_port=$2
    cat <<EOF
  inet_listener pop3 {
    address = $OAUTHBEARER_HOST
    port = $port
  }
  inet_listener pop3s {
    address = $OAUTHBEARER_HOST
    port = $tls_port
    ssl = yes
  }
EOF
}

# The oauth2 passdb: every token goes to the stub by POST (RFC 7662). With no tokeninfo_url, Dovecot
# 2.3 asks the introspection endpoint straight away and takes its answer as final.
write_oauth2_config() {
    local stub_port=$1
    cat >"$work/dovecot-oauth2.conf.ext" <<EOF
introspection_mode = post
introspection_url = http://127.0.0.1:$stub_port/introspect
username_attribute = username
active_attribute = active
active_value = true
# Bounded: a stub that hangs fails the login instead of holding it.
timeout_msecs = 10000
EOF
}

# users file line: name:{PLAIN}password:uid:gid::home
user_line() {
    local name=$1 pass=$2 home=$work/mail/$1
    if [[ $(id -u) -eq 0 ]]; then
        echo "$name:{PLAIN}$pass:$(id -u dovecot):$(id -g dovecot)::$home/./"
    else
        echo "$name:{PLAIN}$pass:$(id -u):$(id -g)::$home"
    fi
}

make_mailbox() {
    local name=$1
    shift
    local maildir=$work/mail/$name/Maildir n=0 message
    mkdir -p "$maildir"/{cur,new,tmp}
    for message in "$@"; do
        n=$((n + 1))
        cp "$message" "$maildir/new/100000000$n.M${n}P1.quillpost"
    done
}

master_pid() { cat "$1/master.pid" 2>/dev/null; }

# stop_master RUN_DIR: stops the Dovecot instance whose base_dir that is, if it runs.
stop_master() {
    local pid
    pid=$(master_pid "$1") || return 0
    if [[ -n $pid ]] && kill -TERM "$pid" 2>/dev/null; then
        for _ in $(seq 100); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        # Still there: take down the master's process group, which holds all its children.
        if kill -0 "$pid" 2>/dev/null; then kill -KILL -- "-$pid"; fi
    fi
}

# Whether PID is a live introspection stub: the number may have gone to another process since, and
# a stub that this very run started stays a zombie after it ends.
stub_alive() {
    local pid=$1 status
    grep -qa quillpost_token_verifier "/proc/$pid/cmdline" 2>/dev/null || return 1
    status=$(sed -n 's/^State:[[:space:]]*//p' "/proc/$pid/status" 2>/dev/null) || return 1
    [[ -n $status && $status != Z* ]]
}

stop_stub() {
    local pid=$1
    [[ -n $pid ]] && stub_alive "$pid" || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    for _ in $(seq 50); do
        stub_alive "$pid" || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
}

stop() {
    [[ -f $state ]] || return 0
    local run_dir oauthbearer_run_dir stub_pid
    run_dir=$(sed -n 's/^run_dir=//p' "$state")
    oauthbearer_run_dir=$(sed -n 's/^oauthbearer_run_dir=//p' "$state")
    stub_pid=$(sed -n 's/^stub_pid=//p' "$state")
    [[ -z $run_dir ]] || stop_master "$run_dir"
    [[ -z $oauthbearer_run_dir ]] || stop_master "$oauthbearer_run_dir"
    stop_stub "$stub_pid"
    [[ -z $run_dir ]] || rm -rf "$run_dir"
    [[ -z $oauthbearer_run_dir ]] || rm -rf "$oauthbearer_run_dir"
    rm -f "$state"
    echo "dovecot harness: stopped"
}

# A start-up check failed: everything goes down, and the end of the server's log says why.
fail_start() {
    stop
    echo "dovecot harness: the end of $work/dovecot.log, without the HTTP client's lines:" >&2
    grep -v 'http-client' "$work/dovecot.log" | tail -n 30 >&2 || true
    die "$*; see $work/dovecot.log and $work/introspection.log"
}

# start_stub STUB: runs the introspection stub and waits until it listens.
start_stub() {
    local stub=$1 pid
    "$stub" "$work/oauth-tokens" "$work/introspection.log" "$work/introspection.port" \
        </dev/null >"$work/introspection.err" 2>&1 &
    pid=$!
    echo "stub_pid=$pid" >>"$state"
    for _ in $(seq 100); do
        [[ ! -s $work/introspection.port ]] || return 0
        stub_alive "$pid" || break
        sleep 0.1
    done
    stop
    die "the introspection stub did not start: $(cat "$work/introspection.err")"
}

start() {
    command -v dovecot >/dev/null || die "dovecot is not installed (package dovecot-pop3d)"
    local stub=${QUILLPOST_INTROSPECTION_STUB:-$build_dir/tests/quillpost_token_verifier}
    [[ -x $stub ]] || die "no introspection stub at $stub: build the quillpost_token_verifier target"
    stop
    rm -rf "$work"
    mkdir -p "$work/state" "$work/mail"

    local alice_messages=("$HERE"/mail/alice/*.eml)
    user_line alice wonderland >"$work/users"
    user_line bob builder >>"$work/users"
    make_mailbox alice "${alice_messages[@]}"
    make_mailbox bob
    [[ $(id -u) -ne 0 ]] || chown -R dovecot: "$work/mail"
    local alice_size plain_host bare_host='' bare_listener=''
    alice_size=$(pop3_size "${alice_messages[@]}")
    plain_host=$(pick_plain_host)
    # Port 110 needs root; without it a bare name has nowhere to go.
    if [[ $(id -u) -eq 0 ]]; then
        bare_host=$plain_host
        bare_listener="  inet_listener bare {
    address = $bare_host
    port = 110
  }"
    fi
    make_certificates "$work/tls" "$plain_host"

    # Sockets live in a short path of their own: a deep build folder would pass the socket path limit.
    local run_dir oauthbearer_run_dir port tls_port started=
    run_dir=$(mktemp -d "${TMPDIR:-/tmp}/quillpost-dovecot.XXXXXX")
    oauthbearer_run_dir=$(mktemp -d "${TMPDIR:-/tmp}/quillpost-dovecot.XXXXXX")
    printf '%s\n' "run_dir=$run_dir" "oauthbearer_run_dir=$oauthbearer_run_dir" >"$state"

    # A token of this run only, so that a token found in a log can only have come from a test.
    local token
    token=quillpost-alice-$(openssl rand -hex 16)
    echo "$token alice" >"$work/oauth-tokens"
    start_stub "$stub"
    local stub_port
    stub_port=$(cat "$work/introspection.port")
    write_oauth2_config "$stub_port"

    for _ in 1 2 3 4 5; do
        port=$(pick_port)
        tls_port=$(pick_port)
        [[ $tls_port != "$port" ]] || continue
        write_config "$conf" "$INSTANCE" "$run_dir" "plain xoauth2 oauthbearer" \
            "$(main_listeners "$port" "$tls_port" "$plain_host" "$bare_listener")"
        write_config "$oauthbearer_conf" "$OAUTHBEARER_INSTANCE" "$oauthbearer_run_dir" "plain oauthbearer" \
            "$(oauthbearer_listeners "$port" "$tls_port")"
        if dovecot -c "$conf" 2>"$work/start.err"; then
            if dovecot -c "$oauthbearer_conf" 2>"$work/start.err"; then
                started=1
                break
            fi
            stop_master "$run_dir"
        fi
        # Someone took the port between the probe and the bind: try another.
        grep -q 'Address already in use' "$work/start.err" || break
    done
    if [[ -z $started ]]; then
        cat "$work/start.err" >&2
        stop
        if [[ $(id -u) -ne 0 ]]; then
            echo "dovecot harness: Dovecot won't run as $(id -un) here; POP3 server tests will be skipped" >&2
            exit $SKIP
        fi
        die "Dovecot did not start; see $work/dovecot.log"
    fi

    local expected="+OK 3 $alice_size" reply
    reply=$(pop3_stat_session "$PLAINTEXT_HOST" "$port" alice wonderland | sed -n 4p) || true
    [[ $reply == "$expected" ]] || fail_start "alice's STAT gave '$reply', expected '$expected'"

    # OAuth 2: alice's token over TLS, in two lines (AUTH, then the response), opens her mailbox, and
    # Dovecot asked the stub about it.
    local session sasl response
    response=$(xoauth2_response alice "$token")
    session=$(tls_session "$HOST" "$tls_port" "AUTH XOAUTH2" "$response" STAT QUIT) || true
    grep -qxF -e "$expected" <<<"$session" ||
        fail_start "XOAUTH2 with alice's token gave '${session//$'\n'/ | }', expected '$expected'"
    grep -q -e '-> active username=alice$' "$work/introspection.log" ||
        fail_start "the introspection stub was not asked about alice's token"
    sasl=$(tls_session "$OAUTHBEARER_HOST" "$tls_port" CAPA QUIT | sed -n 's/^SASL //p') || true
    [[ " $sasl " == *" OAUTHBEARER "* && " $sasl " != *" XOAUTH2 "* ]] ||
        fail_start "the OAUTHBEARER-only address offers SASL '$sasl'"

    cat >"$work/env" <<EOF
export QUILLPOST_DOVECOT_HOST=$plain_host
export QUILLPOST_DOVECOT_PORT=$port
export QUILLPOST_DOVECOT_BARE_HOST=$bare_host
export QUILLPOST_DOVECOT_PLAINTEXT_HOST=$PLAINTEXT_HOST
export QUILLPOST_DOVECOT_LOG=$work/dovecot.log
export QUILLPOST_DOVECOT_ALICE_SIZE=$alice_size
export QUILLPOST_DOVECOT_TLS_PORT=$tls_port
export QUILLPOST_DOVECOT_TLS_HOST=$HOST
export QUILLPOST_DOVECOT_TLS_OTHER_NAME_HOST=$TLS_OTHER_NAME_HOST
export QUILLPOST_DOVECOT_TLS_EXPIRED_HOST=$TLS_EXPIRED_HOST
export QUILLPOST_DOVECOT_TLS_UNTRUSTED_HOST=$TLS_UNTRUSTED_HOST
export QUILLPOST_DOVECOT_TLS_CA=$work/tls/ca.pem
export QUILLPOST_DOVECOT_OAUTH_TOKENS=$work/oauth-tokens
export QUILLPOST_DOVECOT_OAUTH_TOKEN=$token
export QUILLPOST_DOVECOT_OAUTH_LOG=$work/introspection.log
export QUILLPOST_DOVECOT_OAUTHBEARER_HOST=$OAUTHBEARER_HOST
export QUILLPOST_DOVECOT_OAUTHBEARER_PORT=$tls_port
EOF
    echo "dovecot harness: POP3 with STLS on $plain_host:$port${bare_host:+ and port 110}, plain text only at $PLAINTEXT_HOST:$port, log $work/dovecot.log, alice's STAT: $reply"
    echo "dovecot harness: POP3 over TLS on port $tls_port, test authority $work/tls/ca.pem"
    echo "dovecot harness: XOAUTH2 and OAUTHBEARER, tokens asked of the stub on port $stub_port" \
        "(log $work/introspection.log); OAUTHBEARER only at $OAUTHBEARER_HOST"
}

case $action in
start) start ;;
stop) stop ;;
*) usage ;;
esac
