; The Windows setup program: puts catraca-sync into the ERP's installation
; folder, with a Start-menu entry, an uninstaller in "Programas e Recursos"
; and, when asked, the machine-wide start-up entry the program itself writes.
; Built by scripts/win-setup.sh, which passes:
;   PAYLOAD  the laid-out program folder (build-win/install)
;   FILES    the generated lists of its files and of the ERP products'
;            settings files (payload.nsh)
;   ICON     the program's icon
;   OUTFILE  the setup's path
;   COMPANY, COPYRIGHT  as the program's own version resource says them
; Silent use: catraca-sync-setup.exe /S [/INICIAR=SIM|NAO] /D=C:\pasta
; (/D= is read in any form typed: last or not, quoted or not). Exit codes:
; 0 installed, 2 the folder is missing or holds no ERP, 3 Windows too old,
; 4 files in the way, 5 program running, 6 the folder cannot be written.
; The uninstaller: 0 removed, 5 program running; run in place with
; _?=<folder> its status reaches the caller (otherwise Windows' copy in the
; temporary folder does the work and the caller sees only its start).
; Every step and every refusal is also written to %TEMP%\catraca-sync-setup.log.

Unicode true
Target amd64-unicode
; zlib: a quarter of lzma's time in every test run, for a setup a third larger.
SetCompressor zlib
RequestExecutionLevel admin
ManifestSupportedOS Win10
; Sharp at 125 and 150 %: Windows would otherwise stretch a 96-dpi bitmap.
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh
!include StrFunc.nsh
${StrStr}
${StrLoc}
${UnStrStr}
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
VIAddVersionKey /LANG=1046 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1046 "LegalCopyright" "${COPYRIGHT}"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

; NSIS's own Portuguese texts say "o ${APPNAME}"; the name is feminine
; (a Integração), so every page that names it gets its own text.
!define MUI_PAGE_HEADER_SUBTEXT "Escolha a pasta na qual instalar a ${APPNAME}."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Escolha a pasta de instalação do sistema Norva (a pasta que contém o arquivo de configurações dele, como norvacomercio.ini). O programa trabalha somente a partir dessa pasta."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Pasta do sistema Norva"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_HEADER_SUBTEXT "Aguarde enquanto a ${APPNAME} é instalada."
!define MUI_INSTFILESPAGE_FINISHHEADER_TEXT "Instalação concluída"
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "A instalação foi concluída com sucesso."
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Instalação da ${APPNAME} concluída"
!define MUI_FINISHPAGE_TEXT "A ${APPNAME} foi instalada na pasta $INSTDIR.$\r$\n$\r$\nClique em Concluir para fechar o instalador."
; Ticked: a technician who presses Enter leaves the program running.
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "Iniciar o programa agora"
!insertmacro MUI_PAGE_FINISH
!define MUI_PAGE_HEADER_TEXT "Desinstalar a ${APPNAME}"
!define MUI_PAGE_HEADER_SUBTEXT "Remover a ${APPNAME} deste computador."
!define MUI_UNCONFIRMPAGE_TEXT_TOP "A ${APPNAME} será desinstalada da pasta a seguir. Os arquivos de configuração e o registro (catraca-sync.log) ficam na pasta. Clique em Desinstalar para continuar."
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_PAGE_HEADER_SUBTEXT "Aguarde enquanto a ${APPNAME} é desinstalada."
!define MUI_INSTFILESPAGE_FINISHHEADER_TEXT "Desinstalação concluída"
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "A desinstalação foi concluída com sucesso."
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "PortugueseBR"

!include "${FILES}"
!define NOT_ERP_FOLDER "A pasta $INSTDIR não é a pasta de instalação de um sistema Norva: nela não há nenhum dos arquivos de configuração (${ERPNAMES}). Escolha a pasta onde o sistema Norva está instalado."

Var Found
; "1" when the folder found is only a guess of the search under C:\Norva*
Var Guessed
Var Candidate
Var Named
Var StartWithWindows
Var InTheWay

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
; The folder is kept apart from $0, which IsErpFolder answers in: a folder
; passed in $0 would otherwise be read back as the answer.
!macro TryFolder folder
  ${If} $Found == ""
    StrCpy $Candidate `${folder}`
    StrCpy $0 $Candidate
    Call IsErpFolder
    ${If} $0 == "1"
      StrCpy $Found $Candidate
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
  ReadRegStr $R9 HKLM "${UNINSTKEY}" "InstallLocation"
  ${If} $R9 != ""
    !insertmacro TryFolder "$R9"
  ${EndIf}
  StrCpy $Guessed ""
  ${If} $Found == ""
    StrCpy $Guessed "1"
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


; ---- the folder named with /D=, in whatever form a technician types it.
; NSIS takes /D= only last and unquoted: a quoted one it drops (and the
; search would pick some other Norva folder), and what follows a /D= it
; takes for part of the folder (a /S after it is lost). So the command line
; is read here as Windows keeps it: /D=C:\x y, "/D=C:\x y", /D="C:\x y".
; -> $Named "1" and $INSTDIR the folder when /D= is there;
;    $R7 the other arguments
Function ReadNamedFolder
  StrCpy $Named ""
  System::Call 'kernel32::GetCommandLineW() w .r0'
  ; past the setup's own path, quoted or not
  StrCpy $1 $0 1
  ${If} $1 == '"'
    StrCpy $0 $0 "" 1
    ${StrLoc} $1 $0 '"' ">"
    ${If} $1 == ""
      StrCpy $1 -1
    ${EndIf}
    IntOp $1 $1 + 1
    StrCpy $0 $0 "" $1
  ${Else}
    ${StrStr} $0 $0 " "
  ${EndIf}
  StrCpy $R7 $0
  ${StrLoc} $1 $0 "/D=" ">"
  ${If} $1 == ""
    Return
  ${EndIf}
  StrCpy $Named "1"
  StrCpy $R7 $0 $1
  StrCpy $2 ""
  ${If} $1 > 0
    IntOp $3 $1 - 1
    StrCpy $2 $0 1 $3
    ${If} $2 == '"'
      StrCpy $R7 $0 $3
    ${EndIf}
  ${EndIf}
  IntOp $1 $1 + 3
  StrCpy $0 $0 "" $1
  StrCpy $3 $0 1
  ${If} $3 == '"'
    StrCpy $0 $0 "" 1
    StrCpy $2 '"'
  ${EndIf}
  ${If} $2 == '"'
    ${StrLoc} $1 $0 '"' ">"
    ${If} $1 != ""
      IntOp $3 $1 + 1
      StrCpy $3 $0 "" $3
      StrCpy $R7 "$R7 $3"
      StrCpy $0 $0 $1
    ${EndIf}
  ${EndIf}
  ; blanks and a closing backslash at the end are not part of the name
  ${Do}
    StrCpy $1 $0 1 -1
    StrLen $3 $0
    ${If} $3 <= 3
      ${Break}
    ${EndIf}
    ${If} $1 == " "
    ${OrIf} $1 == "\"
      StrCpy $0 $0 -1
    ${Else}
      ${Break}
    ${EndIf}
  ${Loop}
  StrCpy $INSTDIR $0
FunctionEnd

; $INSTDIR -> $0 "" when the program can go there, else why not; $1 the exit code
Function FolderProblem
  StrCpy $1 0
  ${If} $INSTDIR == ""
    StrCpy $1 2
    StrCpy $0 "Nenhuma pasta de sistema Norva foi encontrada nos lugares usuais. Indique a pasta onde o sistema Norva está instalado (sem assistente: /D=pasta, por exemplo /D=C:\Norva Comércio)."
    Return
  ${EndIf}
  ; A relative folder would be taken from wherever the setup happens to run.
  StrCpy $0 $INSTDIR 1 1
  StrCpy $1 $INSTDIR 2
  ${If} $0 != ":"
  ${AndIf} $1 != "\\"
    StrCpy $1 2
    StrCpy $0 "A pasta $INSTDIR não é um caminho completo (como C:\Norva Comércio). Indique a pasta onde o sistema Norva está instalado com a letra da unidade."
    Return
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    StrCpy $1 2
    StrCpy $0 "A pasta $INSTDIR não existe. Escolha a pasta onde o sistema Norva está instalado."
    Return
  ${EndIf}
  StrCpy $0 $INSTDIR
  Call IsErpFolder
  ${If} $0 != "1"
    StrCpy $1 2
    StrCpy $0 "${NOT_ERP_FOLDER}"
    Return
  ${EndIf}
  ; Found out before anything is copied: a half-installed folder helps no one.
  ClearErrors
  FileOpen $0 "$INSTDIR\catraca-sync-teste-gravacao.tmp" w
  ${If} ${Errors}
    StrCpy $1 6
    StrCpy $0 "Não é possível gravar na pasta $INSTDIR (somente leitura, ou sem permissão para este usuário). Nada foi instalado."
    Return
  ${EndIf}
  FileClose $0
  Delete "$INSTDIR\catraca-sync-teste-gravacao.tmp"
  StrCpy $0 ""
FunctionEnd

Function .onInit
  SetShellVarContext all
  SetRegView 64
  Delete "$TEMP\catraca-sync-setup.log"
  Call ReadNamedFolder
  ; A /S after a quoted /D= never reached NSIS.
  ClearErrors
  ${GetOptions} $R7 "/S" $0
  ${IfNot} ${Errors}
    SetSilent silent
  ${EndIf}
  ClearErrors
  ${GetOptions} $R7 "/INICIAR=" $StartWithWindows
  ${Log} "Instalação de ${APPNAME} ${VERSION}"
  ${IfNot} ${AtLeastBuild} ${MIN_BUILD}
    !insertmacro Refuse 3 "Este programa requer o Windows 10 ou mais recente, de 64 bits. Esta versão do Windows não é suportada."
  ${EndIf}
  ; /D= given: that folder and no other; otherwise the one found.
  ${If} $Named == "1"
    ${Log} "Pasta indicada (/D=): $INSTDIR"
  ${Else}
    Call FindErpFolder
    StrCpy $INSTDIR $Found
    ${If} $Found != ""
      ${Log} "Pasta do sistema Norva encontrada: $Found"
    ${Else}
      ${Log} "Nenhuma pasta de sistema Norva encontrada nos lugares usuais."
    ${EndIf}
  ${EndIf}
  ${If} ${Silent}
    ; Nobody confirms a guess: a machine with two Norva systems would get
    ; the program in whichever the search met first.
    ${If} $Named != "1"
    ${AndIf} $Guessed == "1"
    ${AndIf} $Found != ""
      !insertmacro Refuse 2 "Sem /D=, a instalação silenciosa usa somente a pasta de onde o instalador foi executado ou a de uma instalação anterior deste programa. A busca encontrou a pasta $Found, que ninguém confirmou: indique-a com /D=$Found para instalar nela."
    ${EndIf}
    Call FolderProblem
    ${If} $0 != ""
      !insertmacro Refuse $1 "$0"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function DirectoryLeave
  Call FolderProblem
  ${If} $0 != ""
    ${Log} "Pasta recusada: $0"
    MessageBox MB_OK|MB_ICONSTOP "$0"
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

; $0 file -> $0 its SHA-1 in hexadecimal, "" when it cannot be read.
; Windows' own CryptoAPI: NSIS has no hash of its own.
Function FileSha1
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  Push $8
  Push $9
  StrCpy $9 ""
  ; GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING
  System::Call 'kernel32::CreateFileW(w r0, i 0x80000000, i 1, p 0, i 3, i 0, p 0) p .r1'
  ${If} $1 P<> -1
    ; PROV_RSA_FULL, CRYPT_VERIFYCONTEXT; CALG_SHA1
    System::Call 'advapi32::CryptAcquireContextW(*p .r2, p 0, p 0, i 1, i 0xF0000000) i .r3'
    ${If} $3 <> 0
      System::Call 'advapi32::CryptCreateHash(p r2, i 0x8004, p 0, i 0, *p .r4) i .r3'
      ${If} $3 <> 0
        System::Alloc 1048576
        Pop $5
        ${Do}
          System::Call 'kernel32::ReadFile(p r1, p r5, i 1048576, *i .r6, p 0) i .r3'
          ${If} $3 = 0
          ${OrIf} $6 = 0
            ${Break}
          ${EndIf}
          System::Call 'advapi32::CryptHashData(p r4, p r5, i r6, i 0)'
        ${Loop}
        ${If} $3 <> 0
          ; HP_HASHVAL, 20 bytes
          System::Call 'advapi32::CryptGetHashParam(p r4, i 2, p r5, *i 20, i 0) i .r3'
          ${If} $3 <> 0
            ${For} $7 0 19
              IntPtrOp $8 $5 + $7
              System::Call '*$8(&i1 .r8)'
              IntOp $8 $8 & 0xff
              IntFmt $8 "%02x" $8
              StrCpy $9 "$9$8"
            ${Next}
          ${EndIf}
        ${EndIf}
        System::Free $5
        System::Call 'advapi32::CryptDestroyHash(p r4)'
      ${EndIf}
      System::Call 'advapi32::CryptReleaseContext(p r2, i 0)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  StrCpy $0 $9
  Pop $9
  Pop $8
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; A file of the program's that is already there belongs to someone else
; unless the earlier installation's list names it or it is byte for byte
; the one this setup carries (a hand-made copy of the program, say).
; Every such file is collected, so that one run names them all.
!macro CheckInTheWay relpath sha1
  ${If} ${FileExists} "$INSTDIR\${relpath}"
    StrCpy $0 "${relpath}"
    Call IsOurFile
    ${If} $0 != "1"
      StrCpy $0 "$INSTDIR\${relpath}"
      Call FileSha1
      ${If} $0 != "${sha1}"
        ${Log} "Arquivo no caminho: $INSTDIR\${relpath}"
        ${If} $InTheWay != ""
          StrCpy $InTheWay "$InTheWay, "
        ${EndIf}
        StrCpy $InTheWay "$InTheWay${relpath}"
      ${EndIf}
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
  ; Firebird's installer writes the folder with a closing backslash.
  StrCpy $3 $2 1 -1
  ${If} $3 == "\"
    StrCpy $2 $2 -1
  ${EndIf}
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
  StrCpy $R8 ""
  ${If} ${FileExists} "$INSTDIR\${FILELIST}"
    StrCpy $R8 "1"
  ${EndIf}
  StrCpy $InTheWay ""
  !insertmacro PayloadCheckInTheWay
  ${If} $InTheWay != ""
    !insertmacro Refuse 4 "Estes arquivos já existem na pasta $INSTDIR e não foram instalados por este programa (podem ser do sistema Norva ou de outro programa): $InTheWay. A instalação foi interrompida sem alterar nada: mova esses arquivos para outra pasta, se eles não forem usados, e execute a instalação novamente."
  ${EndIf}
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
  WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  ; In place (_?=), so that whoever runs it gets its exit status.
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "EstimatedSize" ${PAYLOAD_KB}
  ${Log} "Atalho no menu Iniciar e desinstalador em Programas e Recursos registrados."

  ; Asked, "Sim" preselected on a first installation and where the entry
  ; exists (a technician who presses Enter leaves it starting with Windows);
  ; an upgrade of a program the shop chose not to start keeps "Não".
  ; Silently /INICIAR=SIM or NAO decides, and without it an existing entry
  ; follows the program to this folder, as the program's own start does.
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
    ${OrIf} $R8 == ""
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
  ${un.GetParameters} $0
  ${UnStrStr} $0 $0 "/APAGAR"
  ${If} $0 != ""
    ; The helper of an uninstaller that ran in place: its file goes once it
    ; has ended (a running program's file cannot be deleted).
    ${For} $1 1 100
      ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
        ${Break}
      ${EndIf}
      Delete "$INSTDIR\${UNINSTALLER}"
      Sleep 100
    ${Next}
    ; MOVEFILE_DELAY_UNTIL_REBOOT: this copy in the temporary folder goes too
    System::Call 'kernel32::MoveFileExW(w "$EXEPATH", p 0, i 4)'
    Quit
  ${EndIf}
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
  ${If} $EXEDIR == $INSTDIR
    ; Run in place (_?=): a helper copy deletes this file after it ends.
    CopyFiles /SILENT "$EXEPATH" "$TEMP\catraca-sync-desinstalar-fim.exe"
    Exec '"$TEMP\catraca-sync-desinstalar-fim.exe" /APAGAR _?=$INSTDIR'
  ${Else}
    Delete "$INSTDIR\${UNINSTALLER}"
  ${EndIf}
SectionEnd
