# Sourced by the stage scripts: which folder holds which build, and configuring one.
#   i386         build/              the plug-in as it ships (32-bit)
#   native       build-native/       the same sources for this machine's own architecture
#   i386-asan    build-asan/         AddressSanitizer + UndefinedBehaviorSanitizer, 32-bit
#   native-asan  build-asan-native/  the same, native
# Each stage announces itself with stage_say and ends with one line of its result.

build_dir() {
  case "$1" in
    i386) echo build ;;
    native) echo build-native ;;
    i386-asan) echo build-asan ;;
    native-asan) echo build-asan-native ;;
    *) echo "unknown build '$1' (i386, native, i386-asan, native-asan)" >&2; return 2 ;;
  esac
}

# configure BUILD [cmake options...]: configures the build's folder for it.
configure() {
  local build=$1 dir
  shift
  dir=$(build_dir "$build")
  local opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  case "$build" in native*) opts+=(-DVXINS_NATIVE=ON) ;; esac
  case "$build" in *-asan) opts+=(-DVXINS_SANITIZE=ON) ;; esac
  cmake -S . -B "$dir" "${opts[@]}" "$@" >/dev/null
}

# report_skips DIR: every test the last ctest run in DIR skipped, with the reason it printed.
report_skips() {
  awk '/: Skipped$/ { getline why; next_is_reason = 1; next }
       /^\[  SKIPPED \] / && next_is_reason { print "  skipped: " $4 ": " why; next_is_reason = 0 }' \
    "$1/Testing/Temporary/LastTest.log"
}

stage_start=$(date +%s)
stage_say() { echo "== ${0##*/}: $*"; }
stage_seconds() { echo $(( $(date +%s) - stage_start )); }

# make_package DIR: the Debian package of the build in DIR, from the targets it installs
# (vxins_packaged), by CPack into DIR/packages; prints the .deb's path. CPack builds "all" in
# DIR first unless DIR was configured with CMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON.
make_package() {
  cmake --build "$1" -j2 --target vxins_packaged >&2
  rm -rf "$1/packages"
  (cd "$1" && cpack -G DEB --config CPackConfig.cmake >/dev/null)
  ls "$1"/packages/*.deb
}
