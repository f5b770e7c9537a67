# Settings of the product this setup installs. Another product is configured
# by pointing QM_PRODUCT_DIR at another folder with a file like this one.
# The number of files is not set here: the build counts the packed payload.
set(QM_DESKTOP_ICON 1)
set(QM_VERSION_CAPTION "Quillmoran version 2.1")
set(QM_PRODUCT_NAME "Quillmoran")
set(QM_FOLDER_NAME "Quillmoran")
set(QM_PROGRAM_BASE "vorlenn")
set(QM_MAKE_UNINSTALL 1)
set(QM_UNINSTALL_SWITCH "/uninstall")
set(QM_UNINSTALL_ICON_INDEX 1)
set(QM_MAKE_HELP_SHORTCUT 1)
set(QM_HELP_FILE "vorlenn.hlp")
set(QM_HELP_SHORTCUT_NAME "Quillmoran Help.lnk")
set(QM_DEFAULT_PARENT_DIR "c:\\program files")
