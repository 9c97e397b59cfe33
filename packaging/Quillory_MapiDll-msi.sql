# What the package needs beyond what Debian's wixl writes from
# Quillory_MapiDll.wxs: one SQL statement a line, run with msibuild by
# build-msi.sh after the build. Lines starting with # are comments; a line
# naming @SEQUENCE@ runs once for the UI and once for the execute sequence;
# @VERSION@ and @UPGRADECODE@ are the package's.
#
# The folder: a folder given on the command line wins; otherwise the one
# the installed product remembers; otherwise the default. Its client is
# looked for where the package will go, before anything is installed (an
# upgrade in place keeps the folder checked at the first install).
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('QuilloryCheckGivenDir', 51, 'QUILLORY_CHECK_DIR', '[INSTALLDIR]')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('QuilloryCheckDefaultDir', 51, 'QUILLORY_CHECK_DIR', '[ProgramFiles64Folder]Quillory\')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('QuilloryRememberedDir', 51, 'INSTALLDIR', '[QUILLORY_REMEMBERED_DIR]')
INSERT INTO `Signature` (`Signature`, `FileName`) VALUES ('ClientExe', 'Quillory.exe')
CREATE TABLE `DrLocator` (`Signature_` CHAR(72) NOT NULL, `Parent` CHAR(72), `Path` CHAR(255), `Depth` SHORT PRIMARY KEY `Signature_`, `Parent`, `Path`)
INSERT INTO `DrLocator` (`Signature_`, `Path`, `Depth`) VALUES ('ClientExe', '[QUILLORY_CHECK_DIR]', 0)
INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('QUILLORY_CLIENT_EXE', 'ClientExe')
INSERT INTO `@SEQUENCE@` (`Action`, `Condition`, `Sequence`) VALUES ('QuilloryCheckGivenDir', 'INSTALLDIR', 41)
INSERT INTO `@SEQUENCE@` (`Action`, `Condition`, `Sequence`) VALUES ('QuilloryCheckDefaultDir', 'NOT INSTALLDIR AND NOT WIX_UPGRADE_DETECTED', 42)
INSERT INTO `@SEQUENCE@` (`Action`, `Condition`, `Sequence`) VALUES ('QuilloryRememberedDir', 'NOT INSTALLDIR AND QUILLORY_REMEMBERED_DIR', 51)
#
# A full path: a drive letter with its backslash, or \\server\...; the
# condition language has no substrings, so each letter is a test.
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('QuilloryFullPathAI', 51, 'QUILLORY_FULL_PATH', '1')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('QuilloryFullPathJR', 51, 'QUILLORY_FULL_PATH', '1')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('QuilloryFullPathSZ', 51, 'QUILLORY_FULL_PATH', '1')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('QuilloryFullPathUNC', 51, 'QUILLORY_FULL_PATH', '1')
INSERT INTO `@SEQUENCE@` (`Action`, `Condition`, `Sequence`) VALUES ('QuilloryFullPathAI', 'INSTALLDIR ~<< "A:\" OR INSTALLDIR ~<< "B:\" OR INSTALLDIR ~<< "C:\" OR INSTALLDIR ~<< "D:\" OR INSTALLDIR ~<< "E:\" OR INSTALLDIR ~<< "F:\" OR INSTALLDIR ~<< "G:\" OR INSTALLDIR ~<< "H:\" OR INSTALLDIR ~<< "I:\"', 52)
INSERT INTO `@SEQUENCE@` (`Action`, `Condition`, `Sequence`) VALUES ('QuilloryFullPathJR', 'INSTALLDIR ~<< "J:\" OR INSTALLDIR ~<< "K:\" OR INSTALLDIR ~<< "L:\" OR INSTALLDIR ~<< "M:\" OR INSTALLDIR ~<< "N:\" OR INSTALLDIR ~<< "O:\" OR INSTALLDIR ~<< "P:\" OR INSTALLDIR ~<< "Q:\" OR INSTALLDIR ~<< "R:\"', 53)
INSERT INTO `@SEQUENCE@` (`Action`, `Condition`, `Sequence`) VALUES ('QuilloryFullPathSZ', 'INSTALLDIR ~<< "S:\" OR INSTALLDIR ~<< "T:\" OR INSTALLDIR ~<< "U:\" OR INSTALLDIR ~<< "V:\" OR INSTALLDIR ~<< "W:\" OR INSTALLDIR ~<< "X:\" OR INSTALLDIR ~<< "Y:\" OR INSTALLDIR ~<< "Z:\"', 54)
INSERT INTO `@SEQUENCE@` (`Action`, `Condition`, `Sequence`) VALUES ('QuilloryFullPathUNC', 'INSTALLDIR << "\\" AND NOT INSTALLDIR << "\\\"', 55)
#
# Whom each view's Clients\Mail default names now (wixl's RegistrySearch
# cannot read a default value).
INSERT INTO `RegLocator` (`Signature_`, `Root`, `Key`, `Type`) VALUES ('MailDefault64', 2, 'SOFTWARE\Clients\Mail', 18)
INSERT INTO `RegLocator` (`Signature_`, `Root`, `Key`, `Type`) VALUES ('MailDefault32', 2, 'SOFTWARE\Clients\Mail', 2)
INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('MAILDEFAULT64', 'MailDefault64')
INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('MAILDEFAULT32', 'MailDefault32')
#
# The defaults are permanent components (0x10), written only where no other
# client is named at an upgrade; uninstall removes each only where it still
# names Quillory: reg.exe from the 64-bit system folder, deferred, elevated,
# its exit code ignored (34 + 0x40 + 0x400 + 0x800), and not while an
# upgrade removes the older product.
UPDATE `Component` SET `Attributes` = 276, `Condition` = 'NOT WIX_UPGRADE_DETECTED OR NOT MAILDEFAULT64 OR MAILDEFAULT64="Quillory"' WHERE `Component` = 'Default64'
UPDATE `Component` SET `Attributes` = 20, `Condition` = 'NOT WIX_UPGRADE_DETECTED OR NOT MAILDEFAULT32 OR MAILDEFAULT32="Quillory"' WHERE `Component` = 'Default32'
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('QuilloryRemoveDefault64', 3170, 'TARGETDIR', '"[System64Folder]reg.exe" delete HKLM\SOFTWARE\Clients\Mail /ve /f /reg:64')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('QuilloryRemoveDefault32', 3170, 'TARGETDIR', '"[System64Folder]reg.exe" delete HKLM\SOFTWARE\Clients\Mail /ve /f /reg:32')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('QuilloryRemoveDefault64', 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE AND MAILDEFAULT64="Quillory"', 2610)
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('QuilloryRemoveDefault32', 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE AND MAILDEFAULT32="Quillory"', 2611)
#
# A rebuild of the same version replaces the installed one instead of
# standing beside it (WiX: AllowSameVersionUpgrades; 0x200 makes the
# upgrade's maximum version inclusive; a key column, so the row is
# replaced).
DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'
INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('@UPGRADECODE@', '@VERSION@', 513, 'WIX_UPGRADE_DETECTED')
#
# The event log's source key goes at uninstall with all it holds (a Name of
# -, with no value); wixl cannot write that row.
INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) VALUES ('EventSourceKey', 2, 'SYSTEM\CurrentControlSet\Services\EventLog\Application\Quillory MAPI', '-', 'EventSource')
