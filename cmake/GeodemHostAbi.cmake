# Modules and the host runtime share C++ classes of host/ (target locks, registry keys, ...), not
# only COM interfaces, so a module works only with a runtime built from the same host headers. The
# stamp is a digest of those headers; the runtime refuses a module that carries another one (a
# registry may still name a module of an older build).
file(GLOB GEODEM_HOST_HEADERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/*.h)
list(SORT GEODEM_HOST_HEADERS)
set(GEODEM_HOST_ABI "")
foreach(header ${GEODEM_HOST_HEADERS})
  file(SHA256 ${header} digest)
  string(APPEND GEODEM_HOST_ABI ${digest})
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
endforeach()
string(SHA256 GEODEM_HOST_ABI "${GEODEM_HOST_ABI}")
string(SUBSTRING ${GEODEM_HOST_ABI} 0 16 GEODEM_HOST_ABI)

# The runtime and every module compile the stamp in; a module exports it with
# GEODEM_EXPORT_HOST_ABI (host/HostAbi.h). `stamp` overrides it (tests of a foreign module).
function(geodem_host_abi target)
  set(stamp ${GEODEM_HOST_ABI})
  if(ARGC GREATER 1)
    set(stamp ${ARGV1})
  endif()
  target_compile_definitions(${target} PRIVATE GEODEM_HOST_ABI="${stamp}")
endfunction()
