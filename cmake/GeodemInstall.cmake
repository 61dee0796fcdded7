# Installing the product: `cmake --install` into any prefix, and the Debian package built from the
# same rules (cmake/GeodemPackage.cmake). Three components: `geodem` (the command, the writer
# module, the host runtime and its headers, the man page) under the prefix, `gdal-plugin` in GDAL's
# own plug-in folder, where gdalinfo, gdal_translate, Python and QGIS look without any setting, and
# `qgis-plugin` (qgis/CMakeLists.txt) in <prefix>/share/qgis/python/plugins.
include(GNUInstallDirs)

# lib/<multiarch> whatever the prefix, as Debian lays out libraries.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(GEODEM_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
else()
  set(GEODEM_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR})
endif()
set(GEODEM_INSTALL_MODULEDIR ${GEODEM_INSTALL_LIBDIR}/geodem)

# GDAL loads plug-ins from gdalplugins/ beside its library (GDAL 3.6 has no gdal-config --plugindir).
get_target_property(geodem_gdal_library GDAL::GDAL LOCATION)
get_filename_component(geodem_gdal_libdir "${geodem_gdal_library}" DIRECTORY)
set(GEODEM_GDAL_PLUGIN_DIR "${geodem_gdal_libdir}/gdalplugins"
    CACHE PATH "Folder the GDAL driver plug-in is installed into (GDAL's plug-in folder)")
set(GEODEM_SYSTEM_REGISTRY "/var/lib/geodem/registry"
    CACHE STRING "The system-wide registry that the installed writer registers in")

target_compile_definitions(hvxhost PRIVATE GEODEM_SYSTEM_REGISTRY="${GEODEM_SYSTEM_REGISTRY}")

install(TARGETS hvxhost LIBRARY DESTINATION ${GEODEM_INSTALL_LIBDIR} COMPONENT geodem)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/host/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/geodem/host
        COMPONENT geodem FILES_MATCHING PATTERN "*.h")
# The manual page, English and Chinese (man picks the one of the user's locale).
foreach(language "" zh_CN)
  configure_file(${CMAKE_SOURCE_DIR}/doc/${language}/geodem.1.in
                 ${CMAKE_BINARY_DIR}/doc/${language}/geodem.1 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/doc/${language}/geodem.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/${language}/man1 COMPONENT geodem)
endforeach()
# The job script of geodem batch on a Slurm cluster, for users to copy or submit as it is.
install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/slurm/geodem-array.sbatch
        DESTINATION ${CMAKE_INSTALL_DATADIR}/geodem/slurm COMPONENT geodem)

# Installed binaries find the host runtime relative to themselves, never in the build tree.
if(TARGET geodem)
  target_compile_definitions(geodemapp PRIVATE GEODEM_MODULE_DIR="${GEODEM_INSTALL_MODULEDIR}")
  set_target_properties(geodem PROPERTIES INSTALL_RPATH "$ORIGIN/../${GEODEM_INSTALL_LIBDIR}")
  install(TARGETS geodem RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT geodem)
endif()
if(TARGET HVXOGEODEMWriter)
  set_target_properties(HVXOGEODEMWriter PROPERTIES INSTALL_RPATH "$ORIGIN/..")
  install(TARGETS HVXOGEODEMWriter LIBRARY DESTINATION ${GEODEM_INSTALL_MODULEDIR}
          COMPONENT geodem)
endif()
install(TARGETS gdal_GEODEM LIBRARY DESTINATION ${GEODEM_GDAL_PLUGIN_DIR} COMPONENT gdal-plugin)

include(${CMAKE_CURRENT_LIST_DIR}/GeodemPackage.cmake)
