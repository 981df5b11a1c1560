#!/bin/sh
# Makes a test certificate authority and a server certificate it signs for
# localhost and 127.0.0.1, in FOLDER: ca.pem, server.pem, server.key; and a
# second authority, other-ca.pem, that signed nothing.
set -eu
cd "$1"
cat > ext.cnf <<'END'
[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
[server]
subjectAltName = DNS:localhost,IP:127.0.0.1
basicConstraints = CA:FALSE
END
key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
openssl req -config ext.cnf -extensions ca -x509 $key -keyout ca.key -out ca.pem -days 2 -subj "/CN=Kiv test CA" 2>/dev/null
openssl req -config ext.cnf -extensions ca -x509 $key -keyout other-ca.key -out other-ca.pem -days 2 -subj "/CN=Kiv test CA" 2>/dev/null
openssl req -config ext.cnf $key -keyout server.key -out server.csr -subj "/CN=localhost" 2>/dev/null
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -set_serial 1 -out server.pem -days 2 \
  -extfile ext.cnf -extensions server 2>/dev/null
