#!/usr/bin/env bash
# Makes the certificates of the https tests, once; the results are kept in this folder. A test
# CA that only the tests trust signs a certificate for the test server (127.0.0.1 and
# corvane.test), one for another host name and one that expired in 2001; a fourth certificate
# for the test server signs itself. All but the expired one are valid from 2020 to 2120. The
# server's certificates share server.key. Needs the openssl command.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$1"; }
key "$work/ca.key"
key server.key
openssl req -new -key "$work/ca.key" -out "$work/ca.csr" -subj "/CN=Corvane test CA"
openssl req -new -key server.key -out "$work/server.csr" -subj "/CN=test server"

# sign <output> <request> <signing key> <extensions> <options of "openssl ca">...
sign() {
    local out=$1 request=$2 signer=$3 extensions=$4
    shift 4
    : >"$work/index.txt"
    cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = $work/index.txt
new_certs_dir = $work
certificate = $PWD/ca.pem
private_key = $signer
default_md = sha256
policy = any
rand_serial = yes
unique_subject = no
[any]
commonName = supplied
[ca_cert]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign
[server]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1,DNS:corvane.test
[other_host]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.test
CNF
    openssl ca -batch -notext -config "$work/ca.cnf" -extensions "$extensions" \
        -in "$request" -out "$out" "$@"
}
century=(-startdate 20200101000000Z -enddate 21200101000000Z)
sign ca.pem "$work/ca.csr" "$work/ca.key" ca_cert -selfsign "${century[@]}"
sign good.pem "$work/server.csr" "$work/ca.key" server "${century[@]}"
sign wronghost.pem "$work/server.csr" "$work/ca.key" other_host "${century[@]}"
sign expired.pem "$work/server.csr" "$work/ca.key" server \
    -startdate 20000101000000Z -enddate 20010101000000Z
sign selfsigned.pem "$work/server.csr" server.key server -selfsign "${century[@]}"
