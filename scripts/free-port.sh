# free_port: prints a TCP port on 127.0.0.1 that nothing listens on (sourced by the
# scripts that start throwaway servers).
free_port() {
  local port
  for _ in $(seq 1 50); do
    port=$(( 20000 + RANDOM % 30000 ))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}
