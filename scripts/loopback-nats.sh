# Sourced by the demos that need a bus: starts "$server" (nats-server) on a loopback port
# nothing listens on, with JetStream storing into "$work/store", and waits until it
# accepts. Sets url and server_pid (the caller's clean-up stops it by that pid); exits
# with the server's log when it does not start. $1: the demo's name, for the messages.
start_loopback_nats() {
    local name=$1 port round
    port=$(/usr/bin/python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
    url="nats://127.0.0.1:$port"
    "$server" -a 127.0.0.1 -p "$port" -js -sd "$work/store" >"$work/server.log" 2>&1 &
    server_pid=$!
    for round in $(seq 1 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
        if [ "$round" -eq 100 ] || ! kill -0 "$server_pid" 2>/dev/null; then
            echo "$name: the NATS server did not start:" >&2
            cat "$work/server.log" >&2
            exit 1
        fi
        sleep 0.1
    done
    echo "$name: NATS server at $url (JetStream in a throw-away folder)"
}
