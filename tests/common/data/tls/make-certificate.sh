#!/bin/sh
# Makes the self-signed certificate of the loopback test server (kept here, valid 100 years).
cd "$(dirname "$0")" && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 36500 -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout localhost.key -out localhost.crt
