; The Windows setup program: puts catraca-sync into the ERP's installation
; folder, with a Start-menu entry, an uninstaller in "Programas e Recursos"
; and, when asked, the machine-wide start-up entry the program itself writes.
; Built by scripts/win-setup.sh, which passes:
;   PAYLOAD  the laid-out program folder (build-win/install)
;   FILES    the generated lists of its files and of the ERP products'
;            settings files (payload.nsh)
;   ICON     the program's icon
;   OUTFILE  the setup's path
; Silent use: catraca-sync-setup.exe /S [/INICIAR=SIM|NAO] /D=C:\pasta
; (/D= last, without quotes). Exit codes: 0 installed, 2 no ERP in the
; folder, 3 Windows too old, 4 a file in the way, 5 program running.
; Every step and every refusal is also written to %TEMP%\catraca-sync-setup.log.

Unicode true
Target amd64-unicode
; zlib: a quarter of lzma's time in every test run, for a setup a third larger.
SetCompressor zlib
RequestExecutionLevel admin
ManifestSupportedOS Win10

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh
!include StrFunc.nsh
${StrStr}
!include WinVer.nsh

!define APPNAME "Integração com Catracas Ovrex/Miravel"
; A file name cannot hold the slash.
!define SHORTCUT "Integração com Catracas Ovrex-Miravel"
!define EXE "catraca-sync.exe"
!define UNINSTALLER "catraca-sync-desinstalar.exe"
; What this setup installed, one path a line: a later setup overwrites only these.
!define FILELIST "catraca-sync-instalados.txt"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\catraca-sync"
; The start-up entry exactly as the program writes it.
!define RUNKEY "SOFTWARE\MICROSOFT\WINDOWS\CURRENTVERSION\RUN\"
!define RUNVALUE "${APPNAME}"
; Windows 10's first build: Qt 6 runs on nothing older.
!define MIN_BUILD 10240

!getdllversion "${PAYLOAD}\${EXE}" APPVER_
!define VERSION "${APPVER_1}.${APPVER_2}.${APPVER_3}.${APPVER_4}"

Name "${APPNAME}"
OutFile "${OUTFILE}"
Caption "${APPNAME} ${APPVER_1}.${APPVER_2} - Instalação"
UninstallCaption "${APPNAME} - Desinstalação"
BrandingText "catraca-sync ${VERSION}"
InstallDir ""
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1046 "ProductName" "${APPNAME}"
VIAddVersionKey /LANG=1046 "FileDescription" "Instalação de ${APPNAME}"
VIAddVersionKey /LANG=1046 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1046 "ProductVersion" "${VERSION}"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

!define MUI_DIRECTORYPAGE_TEXT_TOP "Escolha a pasta de instalação do sistema Norva (a pasta que contém o arquivo de configurações dele, como norvacomercio.ini). O programa trabalha somente a partir dessa pasta."
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "PortugueseBR"

!include "${FILES}"
!define NOT_ERP_FOLDER "A pasta $INSTDIR não é a pasta de instalação de um sistema Norva: nela não há nenhum dos arquivos de configuração (${ERPNAMES}). Escolha a pasta onde o sistema Norva está instalado."

Var Found
Var StartWithWindows

; ---- the setup's log, UTF-16 so that Notepad reads the accents
!macro LogLine text
  Push `${text}`
  Call LogLine
!macroend
!define Log `!insertmacro LogLine`
Function LogLine
  Exch $0
  Push $1
  IfFileExists "$TEMP\catraca-sync-setup.log" +4
    FileOpen $1 "$TEMP\catraca-sync-setup.log" w
    FileWriteWord $1 0xFEFF
    Goto +3
  FileOpen $1 "$TEMP\catraca-sync-setup.log" a
  FileSeek $1 0 END
  FileWriteUTF16LE $1 "$0$\r$\n"
  FileClose $1
  DetailPrint "$0"
  Pop $1
  Pop $0
FunctionEnd

; Tells the user (or, silently, only the log) and ends with the given code.
!macro Refuse code text
  ${Log} `${text}`
  MessageBox MB_OK|MB_ICONSTOP `${text}` /SD IDOK
  SetErrorLevel ${code}
  Quit
!macroend

; ---- the ERP's folder: one of the ERP products' settings files in it
; $0 folder -> $0 "1" when it is an ERP's installation folder
Function IsErpFolder
  Push $1
  StrCpy $1 $0
  StrCpy $0 ""
  ${If} $1 != ""
    !insertmacro ErpSettingsFiles $1 $0
  ${EndIf}
  Pop $1
FunctionEnd
!macro TryFolder folder
  ${If} $Found == ""
    StrCpy $0 `${folder}`
    Call IsErpFolder
    ${If} $0 == "1"
      StrCpy $Found `${folder}`
    ${EndIf}
  ${EndIf}
!macroend
; Every folder under $1 whose name starts with "Norva", and one level below.
Function TryNorvaFolders
  Push $2
  Push $3
  Push $4
  Push $5
  FindFirst $2 $3 "$1\Norva*"
  ${Do}
    ${If} $3 == ""
    ${OrIf} $Found != ""
      ${Break}
    ${EndIf}
    ${If} ${FileExists} "$1\$3\*.*"
      !insertmacro TryFolder "$1\$3"
      FindFirst $4 $5 "$1\$3\*"
      ${Do}
        ${If} $5 == ""
        ${OrIf} $Found != ""
          ${Break}
        ${EndIf}
        ${If} $5 != "."
        ${AndIf} $5 != ".."
          !insertmacro TryFolder "$1\$3\$5"
        ${EndIf}
        FindNext $4 $5
      ${Loop}
      FindClose $4
    ${EndIf}
    FindNext $2 $3
  ${Loop}
  FindClose $2
  Pop $5
  Pop $4
  Pop $3
  Pop $2
FunctionEnd
Function FindErpFolder
  StrCpy $Found ""
  !insertmacro TryFolder "$EXEDIR"
  ; An earlier installation of this program.
  ReadRegStr $0 HKLM "${UNINSTKEY}" "InstallLocation"
  ${If} $0 != ""
    !insertmacro TryFolder "$0"
  ${EndIf}
  StrCpy $1 "$WINDIR" 2
  ${If} $Found == ""
    Call TryNorvaFolders
  ${EndIf}
  ${If} $Found == ""
    StrCpy $1 "$PROGRAMFILES64"
    Call TryNorvaFolders
  ${EndIf}
  ${If} $Found == ""
    StrCpy $1 "$PROGRAMFILES32"
    Call TryNorvaFolders
  ${EndIf}
FunctionEnd


Function .onInit
  SetShellVarContext all
  SetRegView 64
  Delete "$TEMP\catraca-sync-setup.log"
  ${Log} "Instalação de ${APPNAME} ${VERSION}"
  ${IfNot} ${AtLeastBuild} ${MIN_BUILD}
    !insertmacro Refuse 3 "Este programa requer o Windows 10 ou mais recente, de 64 bits. Esta versão do Windows não é suportada."
  ${EndIf}
  ; /D= given: that folder, as is; otherwise the one found.
  ${If} $INSTDIR == ""
    Call FindErpFolder
    StrCpy $INSTDIR $Found
    ${If} $Found != ""
      ${Log} "Pasta do sistema Norva encontrada: $Found"
    ${Else}
      ${Log} "Nenhuma pasta de sistema Norva encontrada nos lugares usuais."
    ${EndIf}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/INICIAR=" $StartWithWindows
  ${If} ${Silent}
    StrCpy $0 $INSTDIR
    Call IsErpFolder
    ${If} $0 != "1"
      !insertmacro Refuse 2 "${NOT_ERP_FOLDER}"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function DirectoryLeave
  StrCpy $0 $INSTDIR
  Call IsErpFolder
  ${If} $0 != "1"
    ${Log} "Pasta recusada: $INSTDIR"
    MessageBox MB_OK|MB_ICONSTOP "${NOT_ERP_FOLDER}"
    Abort
  ${EndIf}
FunctionEnd

; ---- files of the ERP's folder that are not this program's own
; $0 relative path -> $0 "1" when an earlier installation of this setup put it there
Function IsOurFile
  Push $1
  Push $2
  Push $3
  StrCpy $2 ""
  ClearErrors
  FileOpen $1 "$INSTDIR\${FILELIST}" r
  ${IfNot} ${Errors}
    ${Do}
      ClearErrors
      FileRead $1 $3
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      ${TrimNewLines} $3 $3
      ${If} $3 == $0
        StrCpy $2 "1"
        ${Break}
      ${EndIf}
    ${Loop}
    FileClose $1
  ${EndIf}
  StrCpy $0 $2
  Pop $3
  Pop $2
  Pop $1
FunctionEnd
; Files an earlier version put here that this one no longer ships, which
; would otherwise stay beside the new program for good. Only plain relative
; paths of the earlier list are taken: the list lies in a folder users write.
Function RemoveDropped
  ClearErrors
  FileOpen $1 "$INSTDIR\${FILELIST}" r
  ${If} ${Errors}
    Return
  ${EndIf}
  ${Do}
    ClearErrors
    FileRead $1 $2
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    ${TrimNewLines} $2 $2
    StrCpy $3 $2 1
    ${StrStr} $4 $2 ".."
    ${StrStr} $5 $2 ":"
    ${If} $2 == ""
    ${OrIf} $3 == "\"
    ${OrIf} $3 == "/"
    ${OrIf} $4 != ""
    ${OrIf} $5 != ""
      ${Continue}
    ${EndIf}
    StrCpy $3 $2
    !insertmacro PayloadHas
    ${If} $3 != "1"
    ${AndIf} ${FileExists} "$INSTDIR\$2"
      Delete "$INSTDIR\$2"
      ${Log} "Removido (de uma versão anterior): $INSTDIR\$2"
    ${EndIf}
  ${Loop}
  FileClose $1
FunctionEnd

!macro CheckInTheWay relpath
  ${If} ${FileExists} "$INSTDIR\${relpath}"
    StrCpy $0 "${relpath}"
    Call IsOurFile
    ${If} $0 != "1"
      !insertmacro Refuse 4 "O arquivo $INSTDIR\${relpath} já existe e não foi instalado por este programa (pode ser do sistema Norva ou de outro programa). A instalação foi interrompida sem alterar nada: mova esse arquivo para outra pasta, se ele não for usado, e execute a instalação novamente."
    ${EndIf}
  ${EndIf}
!macroend

; ---- the Firebird client the program can load: 64-bit only
; $0 file -> $0 the PE machine field (34404 = x86-64), "" when not a PE file
Function PeMachine
  Push $1
  Push $2
  Push $3
  ClearErrors
  FileOpen $1 $0 r
  StrCpy $0 ""
  ${IfNot} ${Errors}
    FileSeek $1 60
    FileReadByte $1 $2
    FileReadByte $1 $3
    IntOp $3 $3 << 8
    IntOp $2 $2 + $3
    FileSeek $1 $2
    FileReadByte $1 $3
    ${If} $3 == 80 ; "PE\0\0", then the machine
      FileSeek $1 3 CUR
      FileReadByte $1 $2
      FileReadByte $1 $3
      IntOp $3 $3 << 8
      IntOp $0 $2 + $3
    ${EndIf}
    FileClose $1
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
FunctionEnd
; $0 file -> $0 "" when it is a usable client, otherwise why not
Function ClientProblem
  ${IfNot} ${FileExists} $0
    StrCpy $0 "-"
    Return
  ${EndIf}
  StrCpy $R2 $0
  Call PeMachine
  ${If} $0 == 34404
    StrCpy $0 ""
  ${ElseIf} $0 == 332
    StrCpy $0 "$R2 é de 32 bits"
  ${Else}
    StrCpy $0 "$R2 não é uma biblioteca de 64 bits"
  ${EndIf}
FunctionEnd
; $R0 <- "" when a usable client exists, else what was found wrong
!macro TryClient file
  ${If} $R1 != "ok"
    StrCpy $0 `${file}`
    Call ClientProblem
    ${If} $0 == ""
      StrCpy $R1 "ok"
      ${Log} "Cliente do Firebird de 64 bits: ${file}"
    ${ElseIf} $0 != "-"
      StrCpy $R0 "$R0$0; "
    ${EndIf}
  ${EndIf}
!macroend
Function CheckFirebirdClient
  StrCpy $R0 ""
  StrCpy $R1 ""
  !insertmacro TryClient "$INSTDIR\fbclient.dll"
  !insertmacro TryClient "$INSTDIR\gds32.dll"
  ReadRegStr $2 HKLM "SOFTWARE\Firebird Project\Firebird Server\Instances" "DefaultInstance"
  ${If} $2 != ""
    !insertmacro TryClient "$2\fbclient.dll"
    !insertmacro TryClient "$2\bin\fbclient.dll"
  ${EndIf}
  ${If} $R1 != "ok"
    System::Call 'kernel32::SearchPathW(p 0, w "fbclient.dll", p 0, i ${NSIS_MAX_STRLEN}, w .r3, p 0) i .r4'
    ${If} $4 > 0
      !insertmacro TryClient "$3"
    ${EndIf}
  ${EndIf}
  ${If} $R1 != "ok"
    StrCpy $0 "Nenhum cliente do Firebird de 64 bits foi encontrado (fbclient.dll ou gds32.dll na pasta $INSTDIR, na instalação do Firebird registrada no Windows ou no caminho de busca)."
    ${If} $R0 != ""
      StrCpy $0 "$0 Encontrados, mas inutilizáveis: $R0"
    ${EndIf}
    StrCpy $0 "$0 O programa é de 64 bits e só carrega o cliente de 64 bits: instale o cliente do Firebird de 64 bits antes de usá-lo."
    ${Log} "Aviso: $0"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$0" /SD IDOK
  ${EndIf}
FunctionEnd

; ---- the start-up entry, the program's own way: a path with a blank in quotes
Function WriteRunValue
  StrCpy $0 "$INSTDIR\${EXE}"
  ${StrStr} $1 $0 " "
  ${If} $1 != ""
    StrCpy $0 '"$0"'
  ${EndIf}
  WriteRegStr HKLM "${RUNKEY}" "${RUNVALUE}" "$0 HIDE"
  ${Log} "Iniciar com o Windows: $0 HIDE"
FunctionEnd

Section "Programa"
  ${Log} "Pasta de instalação: $INSTDIR"
  !insertmacro PayloadCheckInTheWay
  ; A running program holds its file: it must end first.
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    ClearErrors
    Delete "$INSTDIR\${EXE}"
    ${If} ${Errors}
      !insertmacro Refuse 5 "O programa está em execução nesta pasta. Feche-o (menu do ícone ao lado do relógio, Sair) e execute a instalação novamente."
    ${EndIf}
  ${EndIf}
  Call RemoveDropped
  !insertmacro PayloadInstall
  FileOpen $0 "$INSTDIR\${FILELIST}" w
  !insertmacro PayloadList $0
  FileClose $0
  ${Log} "Arquivos do programa copiados."

  SetOutPath "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\${SHORTCUT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "${APPNAME}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "EstimatedSize" ${PAYLOAD_KB}
  ${Log} "Atalho no menu Iniciar e desinstalador em Programas e Recursos registrados."

  ; Asked; silently /INICIAR=SIM or NAO decides, and without it an existing
  ; entry follows the program to this folder, as the program's own start does.
  ClearErrors
  ReadRegStr $1 HKLM "${RUNKEY}" "${RUNVALUE}"
  ${If} ${Errors}
    StrCpy $1 ""
  ${Else}
    StrCpy $1 "1"
  ${EndIf}
  ${IfNot} ${Silent}
    StrCpy $StartWithWindows "NAO"
    StrCpy $2 "Iniciar o programa junto com o Windows? Ele fica ao lado do relógio e se conecta sozinho, 40 segundos após o início do Windows."
    ${If} $1 == "1"
      MessageBox MB_YESNO|MB_ICONQUESTION "$2" IDNO +2
      StrCpy $StartWithWindows "SIM"
    ${Else}
      MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "$2" IDNO +2
      StrCpy $StartWithWindows "SIM"
    ${EndIf}
  ${ElseIf} $StartWithWindows == ""
  ${AndIf} $1 == "1"
    StrCpy $StartWithWindows "SIM"
  ${EndIf}
  ${If} $StartWithWindows == "SIM"
    Call WriteRunValue
  ${ElseIf} $StartWithWindows == "NAO"
    DeleteRegValue HKLM "${RUNKEY}" "${RUNVALUE}"
    ${Log} "Iniciar com o Windows: não"
  ${EndIf}

  Call CheckFirebirdClient
  ${Log} "Instalação concluída."
SectionEnd

; ---- uninstaller: what the setup put there goes; the shop's settings
; files and the log stay
Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section "Uninstall"
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    ClearErrors
    Delete "$INSTDIR\${EXE}"
    ${If} ${Errors}
      MessageBox MB_OK|MB_ICONSTOP "O programa está em execução. Feche-o (menu do ícone ao lado do relógio, Sair) e execute a desinstalação novamente." /SD IDOK
      SetErrorLevel 5
      Quit
    ${EndIf}
  ${EndIf}
  !insertmacro PayloadRemove
  Delete "$INSTDIR\${FILELIST}"
  DeleteRegValue HKLM "${RUNKEY}" "${RUNVALUE}"
  Delete "$SMPROGRAMS\${SHORTCUT}.lnk"
  DeleteRegKey HKLM "${UNINSTKEY}"
  Delete "$INSTDIR\${UNINSTALLER}"
SectionEnd
