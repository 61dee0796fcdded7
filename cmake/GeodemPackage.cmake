# The Debian package (scripts/package.sh runs CPack): everything installed under /usr, the GDAL
# plug-in in GDAL's folder, the writer registered in the system-wide registry while installed.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME geodem)
set(CPACK_PACKAGE_VENDOR "geodem")
set(CPACK_PACKAGE_CONTACT "geodem maintainers <geodem@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "converts digital elevation models into CNSDTF-DEM grid files (GB/T 17798)")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "The geodem command, the GEODEM writer component with its host runtime, and a GDAL driver "
       "plug-in that reads CNSDTF-DEM grid files in gdalinfo, gdal_translate, Python and QGIS, "
       "and a QGIS plugin whose Processing algorithms convert, cut into map sheets and check.")
# The plug-in's folder is absolute: everything is staged under the package's root (DESTDIR), with
# /usr as the prefix whatever the build tree was configured with.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The QGIS plugin in the package needs QGIS only where it is used.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS qgis)
# The host runtime is the package's own library, not one another package provides.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)

set(GEODEM_PACKAGE_BINDIR ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR})
set(GEODEM_PACKAGE_QGIS_PLUGIN_DIR
    ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/qgis/python/plugins/geodem)
foreach(script postinst prerm postrm)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/${script}.in
                 ${CMAKE_BINARY_DIR}/packaging/${script} @ONLY)
  list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/${script})
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
