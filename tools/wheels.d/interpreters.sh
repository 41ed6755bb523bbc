# The interpreters that build the wheels (sourced by tools/wheels).

# build_interpreter X.Y: pyenv's newest CPython X.Y, or the free-threaded 3.13
# built here for X.Y = 3.13t.
build_interpreter() {
  local found
  if [ "$1" = 3.13t ]; then
    free_threaded_cpython
    return
  fi
  found=$(ls -d /root/.pyenv/versions/"$1".* 2>/dev/null | sort -V | tail -n 1)
  [ -n "$found" ] && [ -x "$found/bin/python3" ] || { echo "no CPython $1 installed" >&2; return 1; }
  echo "$found/bin/python3"
}
