# cmake -DBUILD=DIR -DVERSION=V -DOUT=FILE -P CrcstampMsi.cmake: the Windows installer of the build in DIR.
# Its files are the install tree, as the zip holds it, listed by wixl-heat; the rest is crcstamp.wxs.
find_program(WIXL wixl)
find_program(WIXL_HEAT wixl-heat)
find_program(MSIBUILD msibuild)
if(NOT WIXL OR NOT WIXL_HEAT OR NOT MSIBUILD)
  message(FATAL_ERROR "the installer needs wixl, wixl-heat and msibuild (Debian: apt-get install wixl msitools)")
endif()
set(stage ${BUILD}/msi-stage)
file(REMOVE_RECURSE ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${stage} --strip OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
file(GLOB_RECURSE files LIST_DIRECTORIES false ${stage}/*)
string(REPLACE ";" "\n" listing "${files}\n")
file(WRITE ${BUILD}/msi-files.txt "${listing}")
execute_process(COMMAND ${WIXL_HEAT} -p ${stage}/ --directory-ref INSTALLDIR --component-group InstallTree
                        --var var.Stage --win64 INPUT_FILE ${BUILD}/msi-files.txt OUTPUT_FILE ${BUILD}/msi-files.wxs
                COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(OUT ${OUT} ABSOLUTE BASE_DIR ${BUILD})
execute_process(COMMAND ${WIXL} -a x64 -D Version=${VERSION} -D Stage=. -D Win64=yes -o ${OUT}
                        ${CMAKE_CURRENT_LIST_DIR}/crcstamp.wxs ${BUILD}/msi-files.wxs
                WORKING_DIRECTORY ${stage} COMMAND_ERROR_IS_FATAL ANY)
# wixl knows no Environment element: the Path entry goes in as the rows it would have written. "=-*": set on
# install, taken away on uninstall, in the system's environment; "[INSTALLDIR];[~]": the folder in front of the
# Path as it was (an entry put at the end leaves its ';' behind on uninstall, under Wine at least).
execute_process(COMMAND ${MSIBUILD} ${OUT} -q
  "CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT NULL LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)"
  -q "INSERT INTO `Environment` (`Environment`, `Name`, `Value`, `Component_`) VALUES ('PathEntry', '=-*PATH', '[INSTALLDIR];[~]', 'Integration')"
  -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('RemoveEnvironmentStrings', 3300)"
  -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('WriteEnvironmentStrings', 5200)"
  COMMAND_ERROR_IS_FATAL ANY)
