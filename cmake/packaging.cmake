# The Debian package, included last from the top-level CMakeLists.txt: the files only the
# package installs (copyright, changelog, manual page, lintian overrides, the example inventory,
# the README and the simulator's README) from packaging/ and the sources, and the CPack settings. Each target's own install rule stands beside it.
# Documentation Debian expects of every package: copyright, a compressed changelog and manual.
set(pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(pkg_out ${CMAKE_BINARY_DIR}/packaging)
# Documents over 4 KiB are compressed, as Debian does.
set(gz_files "")
foreach(pair "packaging/changelog|changelog.gz" "packaging/vxins-host.1|vxins-host.1.gz"
             "README.md|README.md.gz" "sim/README.md|sim/README.md.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 src)
  list(GET pair 1 dst)
  get_filename_component(dst_dir ${pkg_out}/${dst} DIRECTORY)
  add_custom_command(OUTPUT ${pkg_out}/${dst}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dst_dir}
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/${src} > ${pkg_out}/${dst}
    DEPENDS ${PROJECT_SOURCE_DIR}/${src} VERBATIM)
  list(APPEND gz_files ${pkg_out}/${dst})
endforeach()
add_custom_target(vxins_package_docs ALL DEPENDS ${gz_files})
install(FILES ${pkg_src}/copyright ${pkg_out}/changelog.gz ${pkg_out}/README.md.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(FILES ${pkg_out}/sim/README.md.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}/sim
        COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/sim/inventories/default.json
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples RENAME sim-inventory.json COMPONENT runtime)
install(FILES ${pkg_out}/vxins-host.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT runtime)
configure_file(${pkg_src}/lintian-overrides.in ${pkg_out}/lintian-overrides @ONLY)
install(FILES ${pkg_out}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
        RENAME qrvlvxins COMPONENT runtime)

# Every target the package installs, so that the package scripts build only these: CPack itself
# builds "all", tests included, unless the build tree was configured with
# CMAKE_SKIP_INSTALL_ALL_DEPENDENCY (scripts/package.sh). A target missing here makes cpack fail
# on its missing file there.
add_custom_target(vxins_packaged)
add_dependencies(vxins_packaged qrvlvxins vxins-host dznaj_sim dznaj_recorder vxins_package_docs)

# The Debian package: cpack -G DEB --config <build>/CPackConfig.cmake (scripts/package.sh).
if(CMAKE_LIBRARY_ARCHITECTURE MATCHES "^i386")
  set(deb_arch i386)
else()
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_arch
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qrvlvxins)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "qrvlvxins developers")
set(CPACK_PACKAGE_CONTACT "qrvlvxins developers <qrvlvxins-maintainers@users.noreply.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "boot-firmware update plug-in for Quorvel FC HBAs and CNAs")
# CPack puts the summary first; these are the lines of the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The 32-bit plug-in libqrvlvxins.so that a host firmware-update framework
loads to discover Quorvel adapters and flash their boot firmware through the
vendor's agent library libdznaj.so; the command-line host vxins-host that
drives it the same way; and an agent simulator, kept in a private folder, for
trying both without adapters.")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# What the binaries need (objdump -T: GLIBC_2.34, GLIBCXX_3.4.29, GCC_3.0, sqlite3_*64 of
# SQLite 3.8.7, zlib's deflate and inflate with the gzip wrapper), resolved by dpkg for the
# package's own architecture.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11), libjsoncpp25 (>= 1.9.5), libsqlite3-0 (>= 3.8.7), zlib1g (>= 1:1.2.3.3)")
# vxins-host replay-to-inventory runs the simulator's Python script; a lab tool, not needed to
# update adapters. Any architecture's python3 runs it: a plain "python3" would ask an amd64
# machine for python3:i386, which conflicts with its own python3, and the install fails.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3:any")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The plug-in sits in the multiarch library folder: refresh the loader cache like any library.
file(WRITE ${pkg_out}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg_out}/triggers)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
include(CPack)
