# Setwell's resources. The artwork is drawn at build time by tools/artgen/artgen.py into
# ${QELVO_SETWELL_ART_DIR}; Setwell.rc (with device/DeviceSelect.rc and framework/Framework.rc) is
# compiled by windres into the OBJECT library qelvo_setwell_resources, linked into Setwell.exe.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(QELVO_SETWELL_ART_DIR ${CMAKE_CURRENT_BINARY_DIR}/art)
set(QELVO_SETWELL_ART
    ${QELVO_SETWELL_ART_DIR}/setwell.ico
    ${QELVO_SETWELL_ART_DIR}/calibrate.ico
    ${QELVO_SETWELL_ART_DIR}/linetest.ico
    ${QELVO_SETWELL_ART_DIR}/logo.bmp
    ${QELVO_SETWELL_ART_DIR}/logomask.bmp)
add_custom_command(
  OUTPUT ${QELVO_SETWELL_ART}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/artgen/artgen.py ${QELVO_SETWELL_ART_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/artgen/artgen.py
  COMMENT "Drawing Setwell's artwork"
  VERBATIM)
add_custom_target(qelvo_setwell_artwork DEPENDS ${QELVO_SETWELL_ART})

add_library(qelvo_setwell_resources OBJECT Setwell.rc)
target_include_directories(qelvo_setwell_resources PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/device ${QELVO_SETWELL_ART_DIR})
set_source_files_properties(Setwell.rc PROPERTIES OBJECT_DEPENDS
  "${QELVO_SETWELL_ART};${CMAKE_CURRENT_SOURCE_DIR}/resource.h;${PROJECT_SOURCE_DIR}/device/DeviceSelect.rc;${PROJECT_SOURCE_DIR}/device/DeviceSelectResource.h;${PROJECT_SOURCE_DIR}/framework/Framework.rc")
add_dependencies(qelvo_setwell_resources qelvo_setwell_artwork)
