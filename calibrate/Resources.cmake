# Marksman's resources. The artwork is drawn at build time by tools/artgen/artgen.py into
# ${QELVO_MARKSMAN_ART_DIR}; Marksman.rc (with device/DeviceSelect.rc) is compiled by windres into
# the OBJECT library qelvo_marksman_resources. Marksman.exe takes it with
#   target_link_libraries(Marksman PRIVATE qelvo_marksman_resources)
# MarksmanResources.dll carries the same resources alone, so that they can be checked in a PE.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(QELVO_MARKSMAN_ART_DIR ${CMAKE_CURRENT_BINARY_DIR}/art)
set(QELVO_MARKSMAN_ART
    ${QELVO_MARKSMAN_ART_DIR}/target.avi
    ${QELVO_MARKSMAN_ART_DIR}/blank.cur
    ${QELVO_MARKSMAN_ART_DIR}/target.cur
    ${QELVO_MARKSMAN_ART_DIR}/marksman.ico
    ${QELVO_MARKSMAN_ART_DIR}/dragwindow.ico
    ${QELVO_MARKSMAN_ART_DIR}/dragtarget.ico)
add_custom_command(
  OUTPUT ${QELVO_MARKSMAN_ART}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/artgen/artgen.py ${QELVO_MARKSMAN_ART_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/artgen/artgen.py
  COMMENT "Drawing Marksman's artwork"
  VERBATIM)
add_custom_target(qelvo_marksman_artwork DEPENDS ${QELVO_MARKSMAN_ART})

add_library(qelvo_marksman_resources OBJECT Marksman.rc)
target_include_directories(qelvo_marksman_resources PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/device ${QELVO_MARKSMAN_ART_DIR})
set_source_files_properties(Marksman.rc PROPERTIES OBJECT_DEPENDS
  "${QELVO_MARKSMAN_ART};${CMAKE_CURRENT_SOURCE_DIR}/resource.h;${PROJECT_SOURCE_DIR}/device/DeviceSelect.rc;${PROJECT_SOURCE_DIR}/device/DeviceSelectResource.h;${PROJECT_SOURCE_DIR}/framework/Framework.rc")
add_dependencies(qelvo_marksman_resources qelvo_marksman_artwork)

add_library(MarksmanResources SHARED $<TARGET_OBJECTS:qelvo_marksman_resources>)
set_target_properties(MarksmanResources PROPERTIES PREFIX "" LINKER_LANGUAGE C)
# No code and no entry point: LoadLibraryEx(..., LOAD_LIBRARY_AS_DATAFILE) or a plain load both work.
target_link_options(MarksmanResources PRIVATE -nostdlib -Wl,--entry,0)
