#!/bin/sh
# Keeps one Wine server running for the whole Windows test run, so that each
# test does not pay for starting one.
# usage: wine_server.sh start WINE | wine_server.sh stop
set -e
case $1 in
start)
    # The server needs its prefix folder; a fresh machine has none yet.
    mkdir -p "${WINEPREFIX:-$HOME/.wine}"
    # A server already running (one that listing the tests started) serves as well.
    wineserver -p < /dev/null > /dev/null 2>&1 || true
    # The first program fills a new prefix; later ones start in moments.
    WINEDEBUG=-all "$2" cmd /c exit < /dev/null > /dev/null 2>&1
    ;;
stop)
    # It may have ended by itself if it was not the persistent one.
    wineserver -k 2> /dev/null || true
    ;;
esac
