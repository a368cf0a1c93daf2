# Installing and the Debian package. Included from tools/CMakeLists.txt after GNUInstallDirs.
# The plug-in goes to the multiarch library folder, vxins-host to bin, the agent simulator to a
# private folder (VXINS_INSTALL_SIMDIR) where no loader search finds it.
set(shlib_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(TARGETS qrvlvxins LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        PERMISSIONS ${shlib_permissions} COMPONENT runtime)
install(TARGETS dznaj_sim LIBRARY DESTINATION ${VXINS_INSTALL_SIMDIR}
        PERMISSIONS ${shlib_permissions} COMPONENT runtime)
install(TARGETS vxins-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
