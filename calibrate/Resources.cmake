# Marksman's resources: Marksman.rc with its artwork, in the OBJECT library
# qelvo_marksman_resources. Marksman.exe takes it with
#   target_link_libraries(Marksman PRIVATE qelvo_marksman_resources)
# MarksmanResources.dll carries the same resources alone, so that they can be checked in a PE.
qelvo_add_program_resources(qelvo_marksman_resources RC Marksman.rc ENGLISH ${CMAKE_CURRENT_SOURCE_DIR}/MarksmanEnglish.rc
  ART target.avi blank.cur target.cur marksman.ico dragwindow.ico dragtarget.ico)

add_library(MarksmanResources SHARED $<TARGET_OBJECTS:qelvo_marksman_resources>)
set_target_properties(MarksmanResources PROPERTIES PREFIX "" LINKER_LANGUAGE C)
# No code and no entry point: LoadLibraryEx(..., LOAD_LIBRARY_AS_DATAFILE) or a plain load both work.
target_link_options(MarksmanResources PRIVATE -nostdlib -Wl,--entry,0)
