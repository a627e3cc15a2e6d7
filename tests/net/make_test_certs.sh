#!/bin/sh
# Makes a test CA and server certificates in the folder given, with fresh P-256 keys each run
# (no key is ever kept in the repository):
#   ca.pem                      the test CA
#   good, other                 signed by it for localhost and 127.0.0.1, valid now
#   wrongname                   signed by it for other.example
#   expired, future             signed by it for localhost, valid only in 2020 / from 2090
#   self                        self-signed for localhost and 127.0.0.1
# each as NAME.pem with its key in NAME.key.
set -eu
cd "$1"
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
cat > ca.cnf <<'CNF'
[ca]
default_ca = test_ca
[test_ca]
dir = .
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = anything
copy_extensions = copy
unique_subject = no
[anything]
commonName = supplied
organizationName = optional
[leaf]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
CNF
: > index.txt
echo 1000 > serial
key ca.key
openssl req -new -key ca.key -subj "/O=Quillet Test/CN=Quillet Test CA" -out ca.csr
openssl ca -batch -config ca.cnf -selfsign -keyfile ca.key -extensions root -days 3650 \
  -in ca.csr -out ca.pem -notext 2>/dev/null
# leaf NAME COMMON-NAME SUBJECT-ALT-NAMES NOT-BEFORE NOT-AFTER
leaf() {
  key "$1.key"
  openssl req -new -key "$1.key" -subj "/O=Quillet Test/CN=$2" -addext "subjectAltName=$3" -out "$1.csr"
  openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -extensions leaf \
    -startdate "$4" -enddate "$5" -in "$1.csr" -out "$1.pem" -notext 2>/dev/null
}
now=$(date -u -d '-1 day' +%Y%m%d%H%M%SZ)
later=$(date -u -d '+30 days' +%Y%m%d%H%M%SZ)
local_names="DNS:localhost,IP:127.0.0.1"
leaf good localhost "$local_names" "$now" "$later"
leaf other localhost "$local_names" "$now" "$later"
leaf wrongname other.example "DNS:other.example" "$now" "$later"
leaf expired localhost "$local_names" 20200101000000Z 20200201000000Z
leaf future localhost "$local_names" 20900101000000Z 20900201000000Z
key self.key
openssl req -new -x509 -key self.key -subj "/O=Quillet Test/CN=localhost" -addext "subjectAltName=$local_names" \
  -days 30 -out self.pem
