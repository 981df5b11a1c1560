#!/usr/bin/python3
# Route requests to the map server, run by lighttpd as a CGI program:
#   /route?from=POINT&to=POINT[&via=POINT]...[&profile=car|bicycle|foot]
# where a POINT is LAT,LON or a place the server's search finds. Answered by
# kivroute over the server's imports, as plain text: its --points output
# (distance_m<TAB>time_s, then every point of the line), or the reason there
# is no route (status 422), a wrong request (400), no router (503). Each
# request is its own kivroute process, so a long query or a crash of the
# router ends only that request.
import os
import subprocess
import sys
import urllib.parse

ROUTER_SECONDS = 120


def reply(status, text):
    body = text.encode("utf-8", "replace")
    sys.stdout.buffer.write(("Status: %s\r\nContent-Type: text/plain; charset=utf-8\r\n"
                             "Content-Length: %d\r\n\r\n" % (status, len(body))).encode("ascii") + body)
    sys.stdout.flush()


def main():
    query = urllib.parse.parse_qs(os.environ.get("QUERY_STRING", ""), keep_blank_values=True)
    router = os.environ.get("KIV_ROUTE", "")
    if not router or not os.access(router, os.X_OK):
        reply("503 Service Unavailable", "this map server has no router: install kivroute\n")
        return
    points = [query.get("from", [""])[0], query.get("to", [""])[0]]
    if not all(points) or len(query.get("from", [])) > 1 or len(query.get("to", [])) > 1:
        reply("400 Bad Request", "a route request names one from and one to (LAT,LON or a place)\n")
        return
    args = [router, "--points", "--data", os.environ.get("KIV_IMPORTS", ""),
            "--profile", query.get("profile", ["car"])[0]]
    for via in query.get("via", []):
        args += ["--via", via]
    args += ["--"] + points
    env = {"PATH": "/usr/local/bin:/usr/bin:/bin", "LANG": "C.UTF-8",
           "KIV_MAPSERVER": os.environ.get("KIV_MAPSERVER", "")}
    try:
        done = subprocess.run(args, capture_output=True, env=env, timeout=ROUTER_SECONDS)
    except subprocess.TimeoutExpired:
        reply("504 Gateway Timeout", "the router found no route in %d s\n" % ROUTER_SECONDS)
        return
    out, err = done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")
    err = err.replace("kivroute: ", "", 1) if err.startswith("kivroute: ") else err
    if done.returncode == 0:
        reply("200 OK", out)
    elif done.returncode == 1:
        reply("422 Unprocessable Entity", err)
    elif done.returncode == 2:
        reply("400 Bad Request", "a wrong route request (profile car, bicycle or foot; points LAT,LON or places)\n")
    else:
        reply("500 Internal Server Error", "the router ended without an answer (status %d)\n" % done.returncode)


main()
