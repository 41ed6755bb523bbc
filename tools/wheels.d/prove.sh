# Proving each wheel on its own platform: pip installs it into a fresh
# environment of that platform's interpreter (pip must accept its tag), then
# the Python tests run against it (sourced by tools/wheels).

proofs=()
suite_runner=()

# The wheel tools/wheels made for TARGET and VERSION (abi3: the cp310-abi3 one).
house_wheel() {
  local target=$1 version=$2 nodot tag
  nodot=$(echo "${version%t}" | tr -d .)
  case $target in
    manylinux_*) tag=manylinux_2_17_${target#*_} ;;
    musllinux_*) tag=musllinux_1_2_${target#*_} ;;
  esac
  if [ "$version" = abi3 ]; then
    ls "$house"/tariffsieve-*-cp310-abi3-*"$tag"*.whl
  else
    ls "$house"/tariffsieve-*-cp"$nodot"-cp"$nodot${version//[0-9.]/}"-*"$tag"*.whl
  fi
}

# prefers_own_wheel ROOT PYTHON VERSION: with the cp310-abi3 wheel and VERSION's
# own wheel side by side, pip on that CPython (in the chroot ROOT) must choose
# its own; a dry run, so the environment keeps what it has.
prefers_own_wheel() {
  local sroot=$1 python=$2 version=$3 own dir chosen
  own=$(house_wheel manylinux_x86_64 "$version" 2>/dev/null) || { build_wheel manylinux_x86_64 "$version"; own=$(house_wheel manylinux_x86_64 "$version"); }
  dir=$work/prove/both-$version
  rm -rf "$dir" && mkdir -p "$dir"
  cp "$own" "$(house_wheel manylinux_x86_64 abi3)" "$dir/"
  sid_run "$sroot" "$python" -m pip install -q --dry-run --ignore-installed --no-deps --no-index --find-links "$dir" \
    --report "$dir/report.json" tariffsieve
  chosen=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["install"][0]["download_info"]["url"].rsplit("/", 1)[-1])' "$dir/report.json")
  if [ "$chosen" = "$(basename "$own")" ]; then
    proofs+=("pip on CPython $version, offered $(ls "$dir"/*.whl | xargs -n1 basename | tr '\n' ' ')chose $chosen")
  else
    proofs+=("pip on CPython $version: FAILED, chose $chosen over $(basename "$own")")
    proof_failed=1
  fi
}

# run_suite NAME PYTHON [PYTEST ARGUMENT]...: the tests under PYTHON (run by
# the command in suite_runner, if any), whose closing line goes into the summary.
run_suite() {
  local name=$1 python=$2 log
  shift 2
  log=$work/prove/$name.log
  echo "-- $name: tests"
  if (cd "$root" && ${suite_runner[@]+"${suite_runner[@]}"} "$python" -m pytest tests/python -q -p no:cacheprovider "$@") > "$log" 2>&1; then
    proofs+=("$name: $(tail -n 1 "$log" | tr -d '=')")
  else
    tail -n 40 "$log"
    proofs+=("$name: FAILED $(tail -n 1 "$log" | tr -d '=')")
    proof_failed=1
  fi
}

# The test dependencies for a platform pip cannot reach the index from (no TLS
# in a CPython built here), fetched by the host for that platform's tags.
platform_deps() {
  local dir=$1 platform=$2 version=$3
  if [ ! -e "$dir/ready" ]; then
    "$work/tools/bin/python" -m pip download -q --only-binary=:all: --platform "$platform" --python-version "$version" \
      --implementation cp -d "$dir" pytest hypothesis numpy
    # Markers are read for the host's CPython: what older ones need besides.
    "$work/tools/bin/python" -m pip download -q --only-binary=:all: --platform "$platform" --python-version "$version" \
      --implementation cp -d "$dir" exceptiongroup tomli
    touch "$dir/ready"
  fi
}

prove_wheel() {
  local target=$1 version=$2 wheel python env sysroot sroot runtime
  wheel=$(house_wheel "$target" "$version")
  env=$work/prove/env-$target-$version
  mkdir -p "$work/prove"
  echo "== proving $(basename "$wheel")"
  case $target:$version in
    manylinux_x86_64:3.14|manylinux_x86_64:3.15|manylinux_x86_64:abi3)
      # The abi3 fallback runs on the newest CPython here (sid's 3.15), the
      # furthest from the 3.10 it was built with.
      runtime=$version; [ "$version" != abi3 ] || runtime=3.15
      sroot=$(sid_root)
      sid_run "$sroot" "/usr/bin/python$runtime" -m venv --clear "$env"
      sid_run "$sroot" "$env/bin/python" -m pip install -q --only-binary=:all: "$wheel" pytest hypothesis numpy
      suite_runner=(sid_run "$sroot")
      run_suite "$target-$version on Debian sid's own CPython $(sid_run "$sroot" "$env/bin/python" -c 'import platform; print(platform.python_version())') (chroot)" "$env/bin/python"
      suite_runner=()
      # Then pip's choice, with the fallback and that CPython's own wheel offered.
      [ "$version" != abi3 ] || prefers_own_wheel "$sroot" "$env/bin/python" "$runtime"
      ;;
    manylinux_x86_64:*)
      python=$(build_interpreter "$version")
      "$python" -m venv --clear "$env"
      "$env/bin/python" -m pip install -q --only-binary=:all: "$wheel" pytest hypothesis numpy
      # A free-threaded wheel's tests of lists changed meanwhile must run, not skip.
      [[ $version != *t ]] || suite_runner=(env TARIFFSIEVE_REQUIRE_FREE_THREADED=1)
      run_suite "$target-$version on $("$env/bin/python" -c 'import platform; print(platform.python_implementation(), platform.python_version())') (this machine)" "$env/bin/python"
      suite_runner=()
      [ "$version" != 3.9 ] || prove_on_debian11 "$wheel"
      ;;
    manylinux_aarch64:3.14)
      sysroot=$(sid_arm64_root)
      qemu_launcher "$env" /usr/bin/qemu-aarch64-static "$sysroot" /usr/bin/python3.14
      "$work/tools/bin/python" -m pip --python "$env/bin/python" install -q --only-binary=:all: "$wheel" pytest hypothesis numpy
      run_suite "$target-$version on Debian sid's own arm64 CPython $("$env/bin/python" -c 'import platform; print(platform.python_version())') (qemu)" "$env/bin/python" \
        -k "not test_failed_allocation_raises_memory_error"
      ;;
    manylinux_aarch64:3.11)
      sysroot=$(arm64_debian_root)
      qemu_launcher "$env" /usr/bin/qemu-aarch64-static "$sysroot" /usr/bin/python3.11
      "$work/tools/bin/python" -m pip --python "$env/bin/python" install -q --only-binary=:all: "$wheel" pytest hypothesis numpy
      # qemu applies an address-space limit to itself, so the memory-limit test cannot pass there.
      run_suite "$target-$version on Debian 12 arm64 CPython 3.11 (qemu)" "$env/bin/python" \
        -k "not test_failed_allocation_raises_memory_error"
      ;;
    musllinux_x86_64:3.13)
      python=$(musl_cpython_x86_64)
      platform_deps "$work/prove/deps-musllinux_1_2_x86_64-3.13" musllinux_1_2_x86_64 3.13
      "$python" -m venv --clear "$env"
      "$env/bin/python" -m pip install -q --no-index --find-links "$work/prove/deps-musllinux_1_2_x86_64-3.13" "$wheel" pytest hypothesis numpy
      run_suite "$target-$version on CPython 3.13 built for musl, musl 1.2.5" "$env/bin/python"
      ;;
    musllinux_aarch64:3.13)
      python=$(musl_cpython_aarch64)
      platform_deps "$work/prove/deps-musllinux_1_2_aarch64-3.13" musllinux_1_2_aarch64 3.13
      qemu_launcher "$env" /usr/bin/qemu-aarch64-static / "$python"
      # pip learns musl's version by running the interpreter's loader, which an
      # emulated process cannot start without binfmt_misc: the host's pip installs
      # for the platform named instead.
      "$work/tools/bin/python" -m pip install -q --no-index --find-links "$work/prove/deps-musllinux_1_2_aarch64-3.13" \
        --platform musllinux_1_2_aarch64 --python-version 3.13 --implementation cp --abi cp313 --only-binary=:all: \
        --target "$env/lib/python3.13/site-packages" "$wheel" pytest hypothesis numpy
      run_suite "$target-$version on CPython 3.13 cross-built for aarch64 musl, musl 1.2.5 (qemu)" "$env/bin/python" \
        -k "not test_failed_allocation_raises_memory_error"
      ;;
    *)
      proofs+=("$target-$version: built and checked; no interpreter of that platform here to test it")
      ;;
  esac
}

# Debian 11 (glibc 2.31, GCC 10's libstdc++) runs the oldest CPython's glibc wheel in a chroot.
prove_on_debian11() {
  local wheel=$1 sysroot deps
  sysroot=$(debian11_root)
  deps=$work/prove/deps-manylinux2014_x86_64-3.9
  platform_deps "$deps" manylinux2014_x86_64 3.9
  remove_tree "$sysroot/prove" && mkdir -p "$sysroot/prove/wheels" "$sysroot/dev" "$sysroot/proc"
  cp "$wheel" "$deps"/*.whl "$sysroot/prove/wheels/"
  # The tests read the README and docs/, the examples and the stubs beside them.
  cp -r "$root/tests" "$root/examples" "$root/src" "$root/docs" "$root/README.md" "$root/pyproject.toml" "$sysroot/prove/"
  for node in null zero urandom; do [ -e "$sysroot/dev/$node" ] || cp -a "/dev/$node" "$sysroot/dev/"; done
  mountpoint -q "$sysroot/proc" || mount -t proc proc "$sysroot/proc"
  chroot "$sysroot" /usr/bin/python3.9 -m venv /prove/env
  chroot "$sysroot" /prove/env/bin/python -m pip install -q --no-index --find-links /prove/wheels tariffsieve pytest hypothesis numpy
  # The root has no shell: the interpreter changes to the tests' folder itself.
  chroot "$sysroot" /prove/env/bin/python -c 'import os, sys, pytest; os.chdir("/prove"); sys.exit(pytest.main(["tests/python", "-q", "-p", "no:cacheprovider"]))' \
    > "$work/prove/debian11.log" 2>&1 && proofs+=("manylinux_x86_64-3.9 on Debian 11 CPython 3.9 (chroot): $(tail -n 1 "$work/prove/debian11.log" | tr -d '=')") \
    || { tail -n 40 "$work/prove/debian11.log"; proofs+=("manylinux_x86_64-3.9 on Debian 11: FAILED"); proof_failed=1; }
  umount "$sysroot/proc"
}

prove_summary() {
  local line
  echo "== proofs"
  for line in "${proofs[@]}"; do echo "$line"; done
  [ "${proof_failed:-0}" -eq 0 ]
}
