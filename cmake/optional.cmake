# mirrorvane_optional_part(OPTION PACKAGE WHAT DEBIAN_PACKAGES): resolves an
# AUTO/ON/OFF option into OPTION_ENABLED.  AUTO builds WHAT when PACKAGE is
# found and otherwise says, once, what to install or how to turn it off.
function(mirrorvane_optional_part option package what debian_packages)
  set(value ${${option}})
  if(value STREQUAL "AUTO")
    find_package(${package} QUIET)
    if(${package}_FOUND)
      set(enabled ON)
    else()
      set(enabled OFF)
      message(STATUS "${package} was not found, so ${what} will not be built. "
                     "Install it (Debian: ${debian_packages}) to build them, "
                     "or pass -D${option}=OFF to leave them out without this notice.")
    endif()
  elseif(value)
    find_package(${package} REQUIRED)
    set(enabled ON)
  else()
    set(enabled OFF)
  endif()
  set(${option}_ENABLED ${enabled} PARENT_SCOPE)
endfunction()
