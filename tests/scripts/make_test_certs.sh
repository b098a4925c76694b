#!/usr/bin/env bash
# Makes a test CA and server certificates for the TLS tests, with the openssl command:
#   make_test_certs.sh OUTDIR
# OUTDIR/ca.pem          the test CA the clients are told to trust
# OUTDIR/good.pem/.key   localhost and 127.0.0.1, signed by the test CA
# OUTDIR/wrongname.*     mail.other.test only, signed by the test CA
# OUTDIR/expired.*       localhost and 127.0.0.1, valid in 2020 only, signed by the test CA
# OUTDIR/notyet.*        localhost and 127.0.0.1, valid from 2099 on, signed by the test CA
# OUTDIR/unknown.*       localhost and 127.0.0.1, signed by another CA nobody trusts
# OUTDIR/selfsigned.*    localhost and 127.0.0.1, signed by itself
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }

make_ca() { # name subject
  key "$1.key"
  openssl req -x509 -new -key "$1.key" -subj "/CN=$2" -days 30 -out "$1.pem" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
}

# A signing setup of `openssl ca`, which can give a certificate any validity period.
make_ca_dir() { # ca
  mkdir -p "$1.db"
  : > "$1.db/index.txt"
  cat > "$1.db/ca.cnf" <<CNF
[ca]
default_ca = test_ca
[test_ca]
database = $PWD/$1.db/index.txt
new_certs_dir = $PWD/$1.db
certificate = $PWD/$1.pem
private_key = $PWD/$1.key
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = copy
rand_serial = yes
[anything]
commonName = supplied
CNF
}

server_cert() { # name ca san [startdate enddate]
  key "$1.key"
  local cn=${3%%,*}
  openssl req -new -key "$1.key" -subj "/CN=${cn#DNS:}" -out "$1.csr" \
    -addext "subjectAltName=$3" -addext "extendedKeyUsage=serverAuth" 2>/dev/null
  local start=${4:-} end=${5:-}
  if [ -z "$start" ]; then
    start=$(date -u -d '-1 day' +%Y%m%d%H%M%SZ)
    end=$(date -u -d '+30 days' +%Y%m%d%H%M%SZ)
  fi
  openssl ca -batch -config "$2.db/ca.cnf" -in "$1.csr" -out "$1.pem" -notext \
    -startdate "$start" -enddate "$end" 2>/dev/null
  rm -f "$1.csr"
}

here="DNS:localhost,IP:127.0.0.1"
make_ca ca "zoripost test CA"
make_ca other "Another test CA"
make_ca_dir ca
make_ca_dir other
server_cert good ca "$here"
server_cert wrongname ca "DNS:mail.other.test"
server_cert expired ca "$here" 20200101000000Z 20201231000000Z
server_cert notyet ca "$here" 20990101000000Z 21000101000000Z
server_cert unknown other "$here"
key selfsigned.key
openssl req -x509 -new -key selfsigned.key -subj "/CN=localhost" -days 30 -out selfsigned.pem \
  -addext "subjectAltName=$here" 2>/dev/null
