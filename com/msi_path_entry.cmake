# Adds to the installer MSI (wixl writes no Environment table) the entry that puts the install
# folder at the end of the system PATH while the component Marlinctl is installed, with the two
# actions that write it on installation and take it away on removal.
#   cmake -DMSIBUILD=/usr/bin/msibuild -DMSI=installer.msi -P msi_path_entry.cmake
set(queries
    "CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT NULL LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)"
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('RemoveEnvironmentStrings', 3300)"
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('WriteEnvironmentStrings', 5200)")
# "=-*PATH": set on installation, removed with the component, in the system's environment;
# "[~]" first: appended to the value already there.
string(ASCII 59 separator)
set(entry "INSERT INTO `Environment` (`Environment`, `Name`, `Value`, `Component_`) VALUES ('Path', '=-*PATH', '[~]${separator}[INSTALLDIR]', 'Marlinctl')")
execute_process(COMMAND ${MSIBUILD} ${MSI} -q ${queries} -q "${entry}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "msibuild could not add the PATH entry to ${MSI}")
endif()
