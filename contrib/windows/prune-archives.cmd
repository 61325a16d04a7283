@echo off
rem Removes date-stamped archives older than 90 days from D:\Backup, for a
rem task after the nightly backup. forfiles judges by the file's time, which
rem -tl sets to the archive's newest file: an archive of an unchanged tree
rem can look older than it is, so keep D well above the backup interval.
forfiles /P D:\Backup /M ????_??_??*.rar /D -90 /C "cmd /c del @path"
