# The programs' identity: the one version number (the project's VERSION), the product name and the
# copyright line, in a header for --version and, per program, in a resource script holding the
# application manifest and the version information.

set(ADDON_PRODUCT_NAME "Sorvane・Dorvelo")
set(ADDON_COPYRIGHT "Copyright (C) 2026 Sorvane・Dorvelo 制作チーム")
set(ADDON_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(ADDON_VERSION_QUAD "${ADDON_VERSION_TEXT}.${PROJECT_VERSION_TWEAK}")
set(ADDON_VERSION_COMMAS
  "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")

set(ADDON_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/resources/Version.h.in ${ADDON_GENERATED_DIR}/addon/Version.h @ONLY)
target_include_directories(project_options INTERFACE ${ADDON_GENERATED_DIR})

# addon_program_resources(TARGET LEVEL DESCRIPTION): LEVEL is the requestedExecutionLevel
# (requireAdministrator for the programs that write below Program Files and into the machine's
# registry, asInvoker for the others). No dependency on the visual-styles common controls: the
# controls keep their classic look.
function(addon_program_resources target level description)
  if(NOT WIN32)
    return()
  endif()
  set(ADDON_PROGRAM_NAME ${target})
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(output_name)
    set(ADDON_PROGRAM_NAME ${output_name})
  endif()
  set(ADDON_PROGRAM_LEVEL ${level})
  set(ADDON_PROGRAM_DESCRIPTION ${description})
  set(ADDON_MANIFEST_NAME "AddonSetup.${ADDON_PROGRAM_NAME}")
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|amd64")
    set(ADDON_MANIFEST_ARCH amd64)
  else()
    set(ADDON_MANIFEST_ARCH x86)
  endif()
  set(dir ${ADDON_GENERATED_DIR}/${target})
  set(ADDON_MANIFEST_FILE ${dir}/${ADDON_PROGRAM_NAME}.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/resources/program.manifest.in ${ADDON_MANIFEST_FILE} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/resources/program.rc.in ${dir}/program.rc @ONLY)
  set_source_files_properties(${dir}/program.rc PROPERTIES OBJECT_DEPENDS ${ADDON_MANIFEST_FILE})
  target_sources(${target} PRIVATE ${dir}/program.rc)
endfunction()
