<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>AboutQuorvelDialog</name>
    <message>
        <source>关于Quorvel客户端</source>
        <translation>About the Quorvel client</translation>
    </message>
    <message>
        <source>Quorvel标志</source>
        <translation>Quorvel logo</translation>
    </message>
    <message>
        <source>本程序用于向会议室的Quorvel显示设备传送文件、设置欢迎辞和投射屏幕。</source>
        <translation>This program sends files to the meeting room&apos;s Quorvel displays, sets their welcome text and casts the screen to them.</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Quorvel客户端  </source>
        <translation>Quorvel client  </translation>
    </message>
    <message>
        <source>编译日期: </source>
        <translation>Built: </translation>
    </message>
</context>
<context>
    <name>BroadcastTargets</name>
    <message>
        <source>在要用的接口之列</source>
        <translation>named in the interfaces to use</translation>
    </message>
    <message>
        <source>不在要用的接口之列 (%1)</source>
        <translation>not named in the interfaces to use (%1)</translation>
    </message>
    <message>
        <source>默认路由的接口</source>
        <translation>the default route&apos;s interface</translation>
    </message>
    <message>
        <source>一个独立的局域网</source>
        <translation>a LAN of its own</translation>
    </message>
    <message>
        <source>虚拟接口 (%1); 若要在此广播, 请把它列入要用的接口</source>
        <translation>a virtual interface (%1); name it among the interfaces to use to broadcast there</translation>
    </message>
</context>
<context>
    <name>CastControllerWidget</name>
    <message>
        <source>Cast</source>
        <translation>Cast</translation>
    </message>
    <message>
        <source>不可投射</source>
        <translation>Cannot cast</translation>
    </message>
    <message>
        <source>此设备不具备Cast功能</source>
        <translation>This device cannot cast</translation>
    </message>
    <message>
        <source>点击Cast到此Quorvel上</source>
        <translation>Click Cast to cast to this Quorvel</translation>
    </message>
    <message>
        <source>&lt; 点击Cast到此Quorvel上</source>
        <translation>&lt; Click Cast to cast to this Quorvel</translation>
    </message>
    <message>
        <source>正在等待连接</source>
        <translation>Waiting for the connection</translation>
    </message>
    <message>
        <source>停止投射</source>
        <translation>Stop casting</translation>
    </message>
    <message>
        <source>暂停投射</source>
        <translation>Pause casting</translation>
    </message>
    <message>
        <source>正在投射</source>
        <translation>Casting</translation>
    </message>
    <message>
        <source>改变屏幕投射比例</source>
        <translation>Change the aspect ratio</translation>
    </message>
    <message>
        <source>恢复投射</source>
        <translation>Resume casting</translation>
    </message>
    <message>
        <source>镜像投射已暂停</source>
        <translation>Casting is paused</translation>
    </message>
    <message>
        <source>正在连接到设备上...</source>
        <translation>Connecting to the device...</translation>
    </message>
    <message>
        <source>Cast已经断开</source>
        <translation>The cast was disconnected</translation>
    </message>
    <message>
        <source>Vantrope</source>
        <translation>Vantrope</translation>
    </message>
    <message>
        <source>是否投射镜像到
%1</source>
        <translation>Cast this screen to
%1?</translation>
    </message>
</context>
<context>
    <name>CastSession</name>
    <message>
        <source>已有一个投射在进行</source>
        <translation>a cast is already running</translation>
    </message>
    <message>
        <source>%1 不支持投射</source>
        <translation>%1 does not announce casting</translation>
    </message>
    <message>
        <source>找不到投射程序 %1</source>
        <translation>the casting program %1 was not found</translation>
    </message>
</context>
<context>
    <name>Config</name>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>设置投射快捷键为&quot;%1&quot;失败,
请在设置中换用其它快捷键.</source>
        <translation>The cast shortcut &quot;%1&quot; could not be set,
please choose another one in the settings.</translation>
    </message>
    <message>
        <source>没有编号为 %1 的设置</source>
        <translation>there is no setting number %1</translation>
    </message>
    <message>
        <source>ClientName 不能为空</source>
        <translation>ClientName may not be empty</translation>
    </message>
    <message>
        <source>无法修改自启动项 %1</source>
        <translation>cannot change the autostart entry %1</translation>
    </message>
    <message>
        <source>无法注册快捷键&quot;%1&quot;: 它已被其它程序占用</source>
        <translation>cannot register the shortcut &quot;%1&quot;: another program holds it</translation>
    </message>
    <message>
        <source>无法写入 %1: %2</source>
        <translation>cannot write %1: %2</translation>
    </message>
    <message>
        <source>无法读取 %1: 它不是设置文件</source>
        <translation>cannot read %1: it is no settings file</translation>
    </message>
    <message>
        <source>无法写入 %1</source>
        <translation>cannot write %1</translation>
    </message>
</context>
<context>
    <name>ConfigCheck</name>
    <message>
        <source>%1 的值应为 true 或 false (1/0, yes/no), 而不是&quot;%2&quot;</source>
        <translation>%1 takes true or false (1/0, yes/no), not &quot;%2&quot;</translation>
    </message>
    <message>
        <source>ClientName 不能为空</source>
        <translation>ClientName may not be empty</translation>
    </message>
    <message>
        <source>下载目录&quot;%1&quot;是一个文件, 不是文件夹</source>
        <translation>the download folder &quot;%1&quot; is a file, not a folder</translation>
    </message>
    <message>
        <source>下载目录&quot;%1&quot;不存在</source>
        <translation>the download folder &quot;%1&quot; does not exist</translation>
    </message>
    <message>
        <source>下载目录&quot;%1&quot;不可写入</source>
        <translation>the download folder &quot;%1&quot; cannot be written</translation>
    </message>
    <message>
        <source>&quot;%1&quot;不是按键组合 (例如 F11, Ctrl+Alt+C)</source>
        <translation>&quot;%1&quot; is no key combination (e.g. F11, Ctrl+Alt+C)</translation>
    </message>
    <message>
        <source>没有编号为 %1 的设置</source>
        <translation>there is no setting number %1</translation>
    </message>
    <message>
        <source>其他方看到的本客户端名称 (不能为空)</source>
        <translation>the name other parties see for this client (not empty)</translation>
    </message>
    <message>
        <source>上传到设备的保密区 (true/false)</source>
        <translation>upload into the device&apos;s confidential area (true/false)</translation>
    </message>
    <message>
        <source>下载和接收的文件存放的位置 (一个已存在, 可写的文件夹)</source>
        <translation>where downloads and accepted files go (an existing, writable folder)</translation>
    </message>
    <message>
        <source>投射到设备之前先询问 (true/false)</source>
        <translation>ask before casting to a device (true/false)</translation>
    </message>
    <message>
        <source>窗口最后选中的设备 (一个 uuid)</source>
        <translation>the device the window selected last (a uuid)</translation>
    </message>
    <message>
        <source>随桌面会话启动窗口程序 (true/false)</source>
        <translation>start the window with the desktop session (true/false)</translation>
    </message>
    <message>
        <source>开始或停止投射的组合键 (例如 F11)</source>
        <translation>the key combination that starts or stops casting (e.g. F11)</translation>
    </message>
</context>
<context>
    <name>CtlCommands</name>
    <message>
        <source>欢迎辞内容不能为空!</source>
        <translation>The welcome text may not be empty!</translation>
    </message>
</context>
<context>
    <name>CtlHelp</name>
    <message>
        <source>把本机屏幕投射到设备: 商定投射 (在这里询问确认和密码), 启动投射程序并控制它. 运行期间键入 p (暂停), r (继续), a (宽高比) 或 s (停止).</source>
        <translation>Cast this screen to a device: agree the cast (confirmation and password asked here), start the casting program and steer it. While it runs, type p (pause), r (resume), a (aspect ratio) or s (stop).</translation>
    </message>
    <message>
        <source>ADDRESS, ADDRESS:PORT 或名称.</source>
        <translation>ADDRESS, ADDRESS:PORT or name.</translation>
    </message>
    <message>
        <source>要通告的屏幕尺寸.</source>
        <translation>The screen size to announce.</translation>
    </message>
    <message>
        <source>用法: quorvelctl [--json] [--timeout SECONDS] [--max-time SECONDS] [--config FILE] [--verbose] COMMAND ARGS...
      quorvelctl --version | -V | --help | --help-all

DEVICE 是 ADDRESS, ADDRESS:PORT, 主机名, 或设备的名称或 uuid (不分大小写; 记住的设备先在上次
出现的地址询问, 其他设备由一次搜索找到).
--timeout 限定每次等待连接, 回复或下一批数据的时间; --max-time 限定整条命令的时间.
全局选项也可以放在命令之后.

命令:
  discover [--wait SECONDS]            查找设备和其他客户端
  ls DEVICE [PATH] [--sort ORDER]      列出设备上的一个文件夹 (默认按名称排序)
  upload DEVICE[,DEVICE...]|--all FILE... [-r] [--secure]
                                       逐个上传文件 (-r: 也上传文件夹);
                                       可同时上传到多台设备
  upload DEVICE - --name NAME          把标准输入上传为 NAME
  download DEVICE REMOTE_PATH [-o LOCAL_PATH|FOLDER/|-]
                                       下载一个文件 (从 LOCAL_PATH.part 续传;
                                       - 输出到标准输出)
  open DEVICE REMOTE_PATH              在设备屏幕上显示一个文件
  rm DEVICE REMOTE_PATH                删除设备上的一个文件
  thumb DEVICE REMOTE_PATH -o FILE     保存一个文件的缩略图
  welcome DEVICE TEXT                  设置欢迎辞
  history DEVICE                       与该设备的传输记录, 最新的在前
  devices [ls] | devices add ADDRESS[:PORT] | devices rm ADDRESS[:PORT]
                                       手动添加的设备 (add 也接受主机名和
                                       最大到 /22 的 IPv4 网段: 198.51.100.0/24)
  config ls | config get KEY | config set KEY VALUE | config unset KEY
  serve [--accept | --ask]             接收其他方提供的文件, 直到被中断
  offer CLIENT FILE... [--wait SECONDS]
                                       向另一个客户端提供文件并供其下载
  doctor [--wait SECONDS]              设备为何没有出现: 逐项检查, 并说明怎么办
  cast DEVICE [--size WxH]             把本机屏幕投射到设备 (在标准输入键入 p 暂停,
                                       r 继续, a 宽高比, s 停止)
  help [COMMAND]                       本说明, 或某个命令的说明

quorvelctl COMMAND --help 说明一个命令; --help-all 说明所有命令.
退出状态: 0 成功, 1 失败, 2 用法错误, 130 被中断.</source>
        <translation>Usage: quorvelctl [--json] [--timeout SECONDS] [--max-time SECONDS] [--config FILE] [--verbose] COMMAND ARGS...
       quorvelctl --version | -V | --help | --help-all

DEVICE is ADDRESS, ADDRESS:PORT, a host name or a device name or uuid (any case; a remembered
device is asked where it was last seen, another found by one discovery pass).
--timeout bounds each wait for a connection, an answer or the next bytes; --max-time the whole
command. The global options may also follow the command.

Commands:
  discover [--wait SECONDS]            find devices and other clients
  ls DEVICE [PATH] [--sort ORDER]      list a folder of a device (by name by default)
  upload DEVICE[,DEVICE...]|--all FILE... [-r] [--secure]
                                       upload files (-r: folders too), one after another;
                                       to several devices at once
  upload DEVICE - --name NAME          upload standard input as NAME
  download DEVICE REMOTE_PATH [-o LOCAL_PATH|FOLDER/|-]
                                       download a file (resumes from LOCAL_PATH.part;
                                       - streams it to standard output)
  open DEVICE REMOTE_PATH              show a file on the device&apos;s screen
  rm DEVICE REMOTE_PATH                delete a file on the device
  thumb DEVICE REMOTE_PATH -o FILE     save a file&apos;s thumbnail
  welcome DEVICE TEXT                  set the welcome text
  history DEVICE                       transfers with the device, newest first
  devices [ls] | devices add ADDRESS[:PORT] | devices rm ADDRESS[:PORT]
                                       the hand-added devices (add also takes a host name
                                       and an IPv4 range up to a /22: 198.51.100.0/24)
  config ls | config get KEY | config set KEY VALUE | config unset KEY
  serve [--accept | --ask]             receive files other parties offer, until interrupted
  offer CLIENT FILE... [--wait SECONDS]
                                       offer files to another client and serve them
  doctor [--wait SECONDS]              why a device does not show up: checks and what to do
  cast DEVICE [--size WxH]             cast this screen to the device (p pause, r resume,
                                       a aspect ratio, s stop, on standard input)
  help [COMMAND]                       this text, or a command&apos;s

quorvelctl COMMAND --help explains a command; --help-all explains them all.
Exit status: 0 success, 1 failure, 2 usage error, 130 interrupted.</translation>
    </message>
    <message>
        <source>全局选项 (放在命令之前或之后):
  --json              标准输出上每行一个 JSON 对象
  --timeout &lt;seconds&gt; 每次等待连接, 回复或下一批数据的最长时间
  --max-time &lt;seconds&gt;
                      整条命令的最长时间
  --config &lt;file&gt;     设置文件 (默认: 窗口程序的)
  --verbose           在标准错误上输出日志
  --version, -V       程序的名称和版本</source>
        <translation>Global options (before or after the command):
  --json              one JSON object per line on standard output
  --timeout &lt;seconds&gt; the most to wait for a connection, an answer or the next bytes
  --max-time &lt;seconds&gt;
                      the most the whole command may take
  --config &lt;file&gt;     the settings file (default: the window&apos;s)
  --verbose           the log on standard error
  --version, -V       the program&apos;s name and version</translation>
    </message>
    <message>
        <source>一次搜索: 手动添加的设备, mDNS 和广播.</source>
        <translation>One discovery pass: hand-added devices, mDNS and broadcast.</translation>
    </message>
    <message>
        <source>监听这么多秒 (默认 3).</source>
        <translation>Listen this many seconds (default 3).</translation>
    </message>
    <message>
        <source>列出设备上的一个文件夹, 按名称排序, 除非 --sort 另有指定.</source>
        <translation>List a folder of a device, by name unless --sort says otherwise.</translation>
    </message>
    <message>
        <source>设备上的文件夹 (默认: 根目录).</source>
        <translation>Folder on the device (default: the root).</translation>
    </message>
    <message>
        <source>name, size, time 或 type, 也可写作 NAME-asc 或 NAME-desc (默认: name; type 把文件夹排在前面).</source>
        <translation>name, size, time or type, each also as NAME-asc or NAME-desc (default: name; type puts folders first).</translation>
    </message>
    <message>
        <source>在设备屏幕上显示一个文件.</source>
        <translation>Show a file on the device&apos;s screen.</translation>
    </message>
    <message>
        <source>设备上的文件.</source>
        <translation>The file on the device.</translation>
    </message>
    <message>
        <source>删除设备上的一个文件.</source>
        <translation>Delete a file on the device.</translation>
    </message>
    <message>
        <source>设置设备显示的欢迎辞.</source>
        <translation>Set the welcome text a device shows.</translation>
    </message>
    <message>
        <source>欢迎辞.</source>
        <translation>The welcome text.</translation>
    </message>
    <message>
        <source>保存设备上一个文件的缩略图.</source>
        <translation>Save the thumbnail of a file on the device.</translation>
    </message>
    <message>
        <source>缩略图保存到哪里.</source>
        <translation>Where to save the thumbnail.</translation>
    </message>
    <message>
        <source>设备为何没有出现: 检查 mDNS, 网络接口, UDP 16020 和 16021, 防火墙, 每个手动添加的设备和一次搜索. 有问题时退出状态为 1.</source>
        <translation>Why a device does not show up: checks mDNS, the interfaces, UDP 16020 and 16021, the firewall, each hand-added device and one discovery pass. Exit status 1 when something is wrong.</translation>
    </message>
    <message>
        <source>让这次搜索监听这么多秒 (默认 3).</source>
        <translation>Let the discovery pass listen this many seconds (default 3).</translation>
    </message>
    <message>
        <source>接收设备和其他客户端提供的文件: 在 UDP %1 上应答搜索, 在 UDP %2 上接受请求, 在 mDNS 上公布本客户端. 提供的文件在回答 yes 之后 (--ask, 从标准输入读取) 或立即 (--accept) 存入 DownloadPath 设置的文件夹. 一直运行, 直到被中断.</source>
        <translation>Receive files that devices and other clients offer: answer discovery on UDP %1, take requests on UDP %2, announce this client on mDNS. Offered files go to the DownloadPath setting after a yes (--ask, read from standard input) or at once (--accept). Runs until interrupted.</translation>
    </message>
    <message>
        <source>不询问, 接收提供的每个文件.</source>
        <translation>Take every offered file without asking.</translation>
    </message>
    <message>
        <source>对提供的每个文件都询问 (没有 --accept-from 时的默认做法).</source>
        <translation>Ask for each offered file (the default without --accept-from).</translation>
    </message>
    <message>
        <source>把提供的文件存入这个文件夹 (默认: DownloadPath 设置).</source>
        <translation>Store offered files in this folder (default: the DownloadPath setting).</translation>
    </message>
    <message>
        <source>不询问就接收这一方提供的文件, 拒绝其他所有方的: 它的 ADDRESS, 名称也须相符时写 NAME@ADDRESS (可重复). 只写名称会被拒绝: 名称只是对方的自称, 任何主机都可以这么说.</source>
        <translation>Take offers from this party without asking and decline everybody else&apos;s: its ADDRESS, or NAME@ADDRESS when the name must match too (repeatable). A name alone is refused: it is what the party says of itself, and any host may say it.</translation>
    </message>
    <message>
        <source>向另一个客户端 (或设备) 提供文件并供其下载, 直到每个文件都已取走或等待结束.</source>
        <translation>Offer files to another client (or a device) and serve them until each was fetched or the wait ends.</translation>
    </message>
    <message>
        <source>要提供的文件.</source>
        <translation>Files to offer.</translation>
    </message>
    <message>
        <source>最多提供这么多秒 (默认 300).</source>
        <translation>Serve at most this many seconds (default 300).</translation>
    </message>
    <message>
        <source>键 (不分大小写):</source>
        <translation>Keys (any case):</translation>
    </message>
    <message>
        <source>与一台设备的传输记录, 最新的在前, 取自本地数据库: 本程序联系过的设备离线时也能找到.</source>
        <translation>The transfers with a device, newest first, from the local database: a device this program has heard from is found while it is off-line.</translation>
    </message>
    <message>
        <source>ADDRESS, ADDRESS:PORT, 名称或 uuid.</source>
        <translation>ADDRESS, ADDRESS:PORT, name or uuid.</translation>
    </message>
    <message>
        <source>手动添加的设备, 每次搜索都会询问. devices add ADDRESS[:PORT], HOST[:PORT] (每次搜索都重新解析该名称) 或 IPv4 网段, 如 198.51.100.0/24 (最大 /22; 每个地址都会询问, 每秒 500 个) (默认端口 16020; 每项一条), devices rm 同样的写法 (只有一项是该地址时可省略端口), devices ls (也可只写 devices).</source>
        <translation>The hand-added devices, asked at every discovery pass. devices add ADDRESS[:PORT], HOST[:PORT] (the name is looked up again at every pass) or an IPv4 range such as 198.51.100.0/24 (at most a /22; each address is asked, 500 a second) (port 16020 by default; one entry each), devices rm the same (the port may be left out when one entry has the address), devices ls (also plain devices).</translation>
    </message>
    <message>
        <source>add, rm 或 ls (默认).</source>
        <translation>add, rm or ls (the default).</translation>
    </message>
    <message>
        <source>ADDRESS[:PORT], HOST[:PORT] 或 RANGE (add 和 rm).</source>
        <translation>ADDRESS[:PORT], HOST[:PORT] or RANGE (add and rm).</translation>
    </message>
    <message>
        <source>读取或更改一项设置: config get KEY, config set KEY VALUE, config unset KEY (恢复默认值), config ls. 值在保存前按设置对话框的规则检查; LastSelectedServerUUID 接受本程序联系过的设备的 uuid.
</source>
        <translation>Read or change a setting: config get KEY, config set KEY VALUE, config unset KEY (back to the default), config ls. A value is checked as the settings dialog checks it before it is stored; LastSelectedServerUUID takes the uuid of a device this program has heard from.
</translation>
    </message>
    <message>
        <source>get, set, unset 或 ls.</source>
        <translation>get, set, unset or ls.</translation>
    </message>
    <message>
        <source>一个键 (get, set 和 unset).</source>
        <translation>A key (get, set and unset).</translation>
    </message>
    <message>
        <source>把文件逐个上传到一台设备; 同时上传到多台设备 (DEV,DEV,... 或 --all) 时, 每台设备按顺序接收自己的文件, 一台失败不妨碍其他设备. 使用 -r 时, 文件夹发送其中及其子文件夹中的文件, 与窗口发送拖入的文件夹相同. FILE 为 - 时把标准输入上传为 --name.</source>
        <translation>Upload files to a device, one after another; to several devices (DEV,DEV,... or --all) at once, each device&apos;s own files in order, one failing device not stopping the others. With -r a folder sends the files inside it and in its subfolders, the way the window sends a dropped folder. FILE - uploads standard input as --name.</translation>
    </message>
    <message>
        <source>ADDRESS, ADDRESS:PORT 或名称; 多个用逗号分隔 (使用 --all 时不写).</source>
        <translation>ADDRESS, ADDRESS:PORT or name; several separated by commas (none with --all).</translation>
    </message>
    <message>
        <source>要上传的文件 (使用 -r 时也可以是文件夹), 或 - 表示标准输入.</source>
        <translation>Files (and with -r folders) to upload, or - for standard input.</translation>
    </message>
    <message>
        <source>也发送文件夹中的文件.</source>
        <translation>Send the files inside folders too.</translation>
    </message>
    <message>
        <source>标准输入的内容在设备上的名称.</source>
        <translation>The name on the device for what standard input gives.</translation>
    </message>
    <message>
        <source>存入设备的保密区.</source>
        <translation>Store them in the device&apos;s confidential area.</translation>
    </message>
    <message>
        <source>发送到一次搜索找到的每台设备 (其他客户端除外).</source>
        <translation>Send to every device one discovery pass finds (other clients aside).</translation>
    </message>
    <message>
        <source>存到哪里: 一个文件, 一个文件夹 (名称以 / 结尾时会创建), 或 - 表示输出到标准输出 (默认: 当前目录).</source>
        <translation>Where to store it: a file, a folder (made when the name ends with /), or - to stream it to standard output (default: the current directory).</translation>
    </message>
    <message>
        <source>替换已有的文件 (默认: 保留它, 把下载的文件存为下一个空闲的名称 NAME (1).ext).</source>
        <translation>Replace a file that is already there (default: keep it and store the download as NAME (1).ext, the next free name).</translation>
    </message>
    <message>
        <source>从设备下载一个文件. 数据先存入 LOCAL_PATH.part, 设备确认后改为最终的名称; 中断的下载再次运行时从 part 续传. 使用 -o - 时数据一到就输出到标准输出 (没有 part, 不能续传). 没有 --overwrite 时从不替换已有的文件, 也不碰本程序没有写过的 .part.</source>
        <translation>Download a file from a device. The bytes gather in LOCAL_PATH.part and take the final name once the device confirmed them; an interrupted download resumes from the part when run again. With -o - they go to standard output as they arrive (no part, no resumption). An existing file is never replaced without --overwrite, nor is a .part this program did not write touched.</translation>
    </message>
</context>
<context>
    <name>DesktopNotifier</name>
    <message>
        <source>显示窗口</source>
        <translation>Show the window</translation>
    </message>
</context>
<context>
    <name>DiscoveryDoctor</name>
    <message>
        <source>%1 (广播地址 %2%3)</source>
        <translation>%1 (broadcast %2%3)</translation>
    </message>
    <message>
        <source>, 默认路由</source>
        <translation>, the default route</translation>
    </message>
    <message>
        <source>已跳过: %1</source>
        <translation>skipped: %1</translation>
    </message>
    <message>
        <source>若也要在此广播, 请在 QUORVEL_BROADCAST_INTERFACES 中列出要用的每个接口 (例如 &quot;%1&quot;)</source>
        <translation>to broadcast there too, name every interface to use in QUORVEL_BROADCAST_INTERFACES (for example &quot;%1&quot;)</translation>
    </message>
    <message>
        <source>没有已启用且能广播的 IPv4 接口</source>
        <translation>no IPv4 interface is up and can broadcast</translation>
    </message>
    <message>
        <source>请把本机接入设备所在的网络 (网线, Wi-Fi); 在此之前只能连接有路由可达的手动添加设备</source>
        <translation>connect this PC to the devices&apos; network (cable, Wi-Fi); until then only hand-added devices on a route can be reached</translation>
    </message>
    <message>
        <source>广播经由 %1 发出</source>
        <translation>broadcasts leave through %1</translation>
    </message>
    <message>
        <source> 在 %1 上</source>
        <translation> on %1</translation>
    </message>
    <message>
        <source>其他用户的进程 (uid %1)%2</source>
        <translation>another user&apos;s process (uid %1)%2</translation>
    </message>
    <message>
        <source>其他客户端找不到本客户端</source>
        <translation>other clients cannot find this one</translation>
    </message>
    <message>
        <source>设备无法向本机发送文件</source>
        <translation>devices cannot send files to this PC</translation>
    </message>
    <message>
        <source>UDP %1 被 %2 占用</source>
        <translation>UDP %1 is held by %2</translation>
    </message>
    <message>
        <source>请停止该程序 (它占用此端口期间%1)</source>
        <translation>stop that program (%1 while it holds the port)</translation>
    </message>
    <message>
        <source>UDP %1 空闲</source>
        <translation>UDP %1 is free</translation>
    </message>
    <message>
        <source>UDP %1 由本客户端占用</source>
        <translation>UDP %1 is held by this client</translation>
    </message>
    <message>
        <source>UDP %1 无法绑定 (%2)</source>
        <translation>UDP %1 cannot be bound (%2)</translation>
    </message>
    <message>
        <source>被 %1 占用</source>
        <translation>held by %1</translation>
    </message>
    <message>
        <source>请停止该程序 (在此期间%1)</source>
        <translation>stop that program (%1 meanwhile)</translation>
    </message>
    <message>
        <source>无法读取防火墙规则 (没有权限)</source>
        <translation>the firewall rules could not be read (not permitted)</translation>
    </message>
    <message>
        <source>请以 root 身份运行 quorvelctl doctor 来检查</source>
        <translation>run quorvelctl doctor as root to check them</translation>
    </message>
    <message>
        <source>没有启用的防火墙 (ufw, firewalld), 也没有安装设置规则的工具 (nft, iptables)</source>
        <translation>no firewall is active (ufw, firewalld) nor a tool installed to set rules (nft, iptables)</translation>
    </message>
    <message>
        <source>无法使用 avahi-daemon: %1</source>
        <translation>avahi-daemon cannot be used: %1</translation>
    </message>
    <message>
        <source>请启动 avahi-daemon (systemctl start avahi-daemon); 在此之前只能通过广播和手动添加找到设备</source>
        <translation>start avahi-daemon (systemctl start avahi-daemon); until then devices are found by broadcast and by hand only</translation>
    </message>
    <message>
        <source>avahi-daemon 正在运行, 浏览 %1 (已公布 %2 个)</source>
        <translation>avahi-daemon is running and browsing %1 (%2 announced)</translation>
    </message>
    <message>
        <source>无</source>
        <translation>none</translation>
    </message>
    <message>
        <source>&quot;%1&quot; 在 %2 毫秒内回复</source>
        <translation>&quot;%1&quot; answered in %2 ms</translation>
    </message>
    <message>
        <source>无法询问 (查询在 %1 毫秒后失败)</source>
        <translation>could not be asked (the query failed after %1 ms)</translation>
    </message>
    <message>
        <source>在 %1 毫秒内没有回复</source>
        <translation>did not answer within %1 ms</translation>
    </message>
    <message>
        <source>请检查设备是否开机且仍是这个地址; 如果地址变了, 请删除它 (quorvelctl devices rm %1) 再添加新地址</source>
        <translation>check that the device is on and still has this address; if it changed, remove it (quorvelctl devices rm %1) and add the new one</translation>
    </message>
    <message>
        <source>&quot;%1&quot; %2 (经由 %3)</source>
        <translation>&quot;%1&quot; %2 by %3</translation>
    </message>
    <message>
        <source>一次搜索什么也没找到</source>
        <translation>one pass found nothing</translation>
    </message>
    <message>
        <source>请检查设备是否开机且与本机在同一网络; 如果广播到不了它, 请手动添加 (quorvelctl devices add ADDRESS)</source>
        <translation>check that the device is on and on this PC&apos;s network; if broadcasts do not reach it, add it by hand (quorvelctl devices add ADDRESS)</translation>
    </message>
    <message>
        <source>一次搜索找到了 %1</source>
        <translation>one pass found %1</translation>
    </message>
</context>
<context>
    <name>DownloadServer</name>
    <message>
        <source>已停止提供 %1</source>
        <translation>serving %1 was stopped</translation>
    </message>
    <message>
        <source>无法在端口 %1 上提供 %2: %3</source>
        <translation>cannot serve %2 on port %1: %3</translation>
    </message>
    <message>
        <source>无法读取 %1: %2</source>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>%1 在接收 %2/%3 字节后停止了接收</source>
        <translation>%1 stopped taking data after %2 of %3 bytes</translation>
    </message>
    <message>
        <source>与 %1 的连接中断: %2</source>
        <translation>the connection to %1 broke: %2</translation>
    </message>
    <message>
        <source>无法打开 %1: %2</source>
        <translation>cannot open %1: %2</translation>
    </message>
    <message>
        <source>%1 在 %2 秒内没有来取 %3</source>
        <translation>%1 did not come for %3 within %2 s</translation>
    </message>
    <message>
        <source>%1 没有说明从何处继续接收 %2</source>
        <translation>%1 did not say where to go on with %2</translation>
    </message>
    <message>
        <source>%1 给出的继续位置无效, 从头发送 %2</source>
        <translation>%1 named no valid place to go on from: %2 is sent from its start</translation>
    </message>
    <message>
        <source>无法读取 %1</source>
        <translation>cannot read %1</translation>
    </message>
</context>
<context>
    <name>FileCommand</name>
    <message>
        <source>无法发送到 %1: %2</source>
        <translation>cannot send to %1: %2</translation>
    </message>
</context>
<context>
    <name>FileDelete</name>
    <message>
        <source>%1 无法删除 %2</source>
        <translation>%1 could not delete %2</translation>
    </message>
    <message>
        <source>删除文件成功.</source>
        <translation>File deleted.</translation>
    </message>
    <message>
        <source>删除文件失败.</source>
        <translation>The file could not be deleted.</translation>
    </message>
</context>
<context>
    <name>FileDistribution</name>
    <message>
        <source>它有 %1 字节, 而分发的文件最多 %2 字节 (4 GiB - 1): 告知接收方的大小只有 32 位</source>
        <translation>it is %1 bytes, and an offered file can have at most %2 (4 GiB - 1): the size the fetching party is told has 32 bits</translation>
    </message>
    <message>
        <source>%1 不是文件</source>
        <translation>%1 is not a file</translation>
    </message>
    <message>
        <source>无法分发 %1: %2</source>
        <translation>cannot offer %1: %2</translation>
    </message>
    <message>
        <source>无法将 %1 分发给 %2: %3</source>
        <translation>cannot offer %1 to %2: %3</translation>
    </message>
</context>
<context>
    <name>FileDownloader</name>
    <message>
        <source>无法写出对 %1 的请求</source>
        <translation>the request for %1 cannot be written</translation>
    </message>
    <message>
        <source>回复不是来自 %1 的端口 %2</source>
        <translation>the answer did not come from %1 port %2</translation>
    </message>
    <message>
        <source>%1 拒绝发送 %2</source>
        <translation>%1 refused to send %2</translation>
    </message>
    <message>
        <source>%1 没有给出可用的传输端口</source>
        <translation>%1 named no usable port for the transfer</translation>
    </message>
    <message>
        <source>无法写入 %1: %2</source>
        <translation>cannot write %1: %2</translation>
    </message>
    <message>
        <source>%1 空间不足, 无法存放 %2: 需要 %3 字节, 剩余 %4 字节</source>
        <translation>not enough space in %1 for %2: %3 bytes needed, %4 free</translation>
    </message>
    <message>
        <source>存放 %1 的磁盘已满: 未完成的文件已删除</source>
        <translation>the disk holding %1 is full: the partial file was removed</translation>
    </message>
    <message>
        <source>%1 报告 %2 的副本不正确</source>
        <translation>%1 says the copy of %2 is not right</translation>
    </message>
    <message>
        <source>%1 始终没有确认 %2: 收到它声明的全部 %3 字节后, 它仍说传输未完成, 可见它声明的大小不是文件的大小</source>
        <translation>%1 never confirmed %2: after all %3 bytes it announced it still says the transfer is not complete, so the size it stated is not the file&apos;s</translation>
    </message>
    <message>
        <source>无法连接到 %1 的端口 %2: %3</source>
        <translation>cannot connect to %1 on port %2: %3</translation>
    </message>
    <message>
        <source>与 %1 的连接中断: %2</source>
        <translation>the connection to %1 broke: %2</translation>
    </message>
    <message>
        <source>%1 在发送 %2/%3 字节后停止了发送</source>
        <translation>%1 stopped sending after %2 of %3 bytes</translation>
    </message>
    <message>
        <source>%1 在 %3 秒内只发送了 %2 字节: 在 %4/%5 字节时放弃</source>
        <translation>%1 sent only %2 bytes in %3 s: given up after %4 of %5 bytes</translation>
    </message>
    <message>
        <source>%1 太慢: 在该文件允许的时间内只收到 %2/%3 字节</source>
        <translation>%1 took too long: %2 of %3 bytes arrived within the time allowed for the file</translation>
    </message>
</context>
<context>
    <name>FileFinder</name>
    <message>
        <source>无法发送到 %1: %2</source>
        <translation>cannot send to %1: %2</translation>
    </message>
    <message>
        <source>%1 无法列出 %2</source>
        <translation>%1 could not list %2</translation>
    </message>
</context>
<context>
    <name>FileLanding</name>
    <message>
        <source>%1 及 %2 个编号的文件名都已被占用</source>
        <translation>%1 and %2 numbered names are taken</translation>
    </message>
</context>
<context>
    <name>FileListDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>上一层 (Backspace)</source>
        <translation>Up one level (Backspace)</translation>
    </message>
    <message>
        <source>上一层</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>当前目录</source>
        <translation>Current folder</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>无法列出 %1: %2</source>
        <translation>Cannot list %1: %2</translation>
    </message>
    <message>
        <source>正在加载 %1 ...</source>
        <translation>Loading %1 ...</translation>
    </message>
    <message>
        <source>无法下载 %1: %2</source>
        <translation>Cannot download %1: %2</translation>
    </message>
</context>
<context>
    <name>FileListView</name>
    <message>
        <source>文件列表</source>
        <translation>File list</translation>
    </message>
    <message>
        <source>文件操作</source>
        <translation>File actions</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>下载</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>在Quorvel上打开</source>
        <translation>Open on the Quorvel</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>排序方式</source>
        <translation>Sort by</translation>
    </message>
    <message>
        <source>文件名(升序)</source>
        <translation>Name (ascending)</translation>
    </message>
    <message>
        <source>文件名(降序)</source>
        <translation>Name (descending)</translation>
    </message>
    <message>
        <source>大小(升序)</source>
        <translation>Size (ascending)</translation>
    </message>
    <message>
        <source>大小(降序)</source>
        <translation>Size (descending)</translation>
    </message>
    <message>
        <source>修改时间(升序)</source>
        <translation>Modified (ascending)</translation>
    </message>
    <message>
        <source>修改时间(降序)</source>
        <translation>Modified (descending)</translation>
    </message>
    <message>
        <source>目录</source>
        <translation>Folder</translation>
    </message>
</context>
<context>
    <name>FileOpen</name>
    <message>
        <source>%1 无法打开 %2</source>
        <translation>%1 could not open %2</translation>
    </message>
    <message>
        <source>打开文件成功.</source>
        <translation>File opened.</translation>
    </message>
    <message>
        <source>打开文件失败.</source>
        <translation>The file could not be opened.</translation>
    </message>
</context>
<context>
    <name>FileThumb</name>
    <message>
        <source>%1 没有 %2 的缩略图</source>
        <translation>%1 has no thumbnail of %2</translation>
    </message>
</context>
<context>
    <name>FileTreeModel</name>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>目录</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>修改时间</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 KB</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 GB</translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation>%1 TB</translation>
    </message>
    <message numerus="yes">
        <source>%n 字节</source>
        <translation>
            <numerusform>%n byte</numerusform>
            <numerusform>%n bytes</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FileUploadTask</name>
    <message>
        <source>回复不是来自 %1 的端口 %2</source>
        <translation>the answer did not come from %1 port %2</translation>
    </message>
    <message>
        <source>无法发送到 %1: %2</source>
        <translation>cannot send to %1: %2</translation>
    </message>
    <message>
        <source>%1 拒绝了该文件</source>
        <translation>%1 refused the file</translation>
    </message>
    <message>
        <source>%1 没有给出可用的传输端口</source>
        <translation>%1 named no usable port for the transfer</translation>
    </message>
    <message>
        <source>无法读取 %1: %2</source>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>%1 在收到全部字节之前断开了连接</source>
        <translation>%1 dropped the connection before it had every byte</translation>
    </message>
    <message>
        <source>%1 在 %3 秒内没有接收最后的 %2 字节: 网络或设备已停止</source>
        <translation>%1 took none of the last %2 bytes for %3 s: the link or the device stopped</translation>
    </message>
    <message>
        <source>%1 报告 %2 的副本不正确</source>
        <translation>%1 says the copy of %2 is not right</translation>
    </message>
    <message>
        <source>%1 已收到全部字节, 但在 %3 秒内的 %2 次状态查询后仍未确认该文件 (%4)</source>
        <translation>%1 had every byte but did not confirm the file after %2 status queries in %3 s (%4)</translation>
    </message>
    <message>
        <source>它一直回复&quot;not_complete&quot;</source>
        <translation>it kept answering &quot;not_complete&quot;</translation>
    </message>
    <message>
        <source>没有可用的回复</source>
        <translation>no usable answer</translation>
    </message>
    <message>
        <source>无法连接到 %1 的端口 %2: %3</source>
        <translation>cannot connect to %1 on port %2: %3</translation>
    </message>
    <message>
        <source>%1 没有告知从何处续传</source>
        <translation>%1 did not say where to resume</translation>
    </message>
    <message>
        <source>与 %1 的连接中断: %2</source>
        <translation>the connection to %1 broke: %2</translation>
    </message>
    <message>
        <source>%1 要求从第 %2 字节续传, 而文件只有 %3 字节</source>
        <translation>%1 asked to resume at byte %2 of a %3-byte file</translation>
    </message>
    <message>
        <source>%1 在接收 %2/%3 字节后停止了接收</source>
        <translation>%1 stopped taking data after %2 of %3 bytes</translation>
    </message>
</context>
<context>
    <name>FirewallRules</name>
    <message>
        <source>UDP %1 和 %2</source>
        <translation>UDP %1 and %2</translation>
    </message>
    <message>
        <source>ufw 已启用, 放行 %1</source>
        <translation>ufw is active and lets %1 in</translation>
    </message>
    <message>
        <source>ufw 已启用, 不放行 %1</source>
        <translation>ufw is active and does not let %1 in</translation>
    </message>
    <message>
        <source>firewalld 正在运行, 放行 %1</source>
        <translation>firewalld is running and lets %1 in</translation>
    </message>
    <message>
        <source>firewalld 正在运行, 不放行 %1</source>
        <translation>firewalld is running and does not let %1 in</translation>
    </message>
    <message>
        <source>传入的数据包默认被丢弃, 且没有规则接受 %1</source>
        <translation>incoming packets are dropped by default and no rule accepts %1</translation>
    </message>
    <message>
        <source>%1: 没有规则丢弃 %2 (%3)</source>
        <translation>%1: no rule drops %2 (%3)</translation>
    </message>
    <message>
        <source>%1: %2 显示: %3</source>
        <translation>%1: %2 shows: %3</translation>
    </message>
</context>
<context>
    <name>GetRecentFiles</name>
    <message>
        <source>没有数据库</source>
        <translation>no database</translation>
    </message>
</context>
<context>
    <name>IncomingFile</name>
    <message>
        <source>文件名为空</source>
        <translation>the name is empty</translation>
    </message>
    <message>
        <source>&quot;%1&quot;不是文件名</source>
        <translation>&quot;%1&quot; is no file name</translation>
    </message>
    <message>
        <source>文件名含有 NUL 字符</source>
        <translation>the name holds a NUL character</translation>
    </message>
    <message>
        <source>文件名含有反斜杠</source>
        <translation>the name holds a backslash</translation>
    </message>
    <message>
        <source>文件名超过 255 字节</source>
        <translation>the name is longer than 255 bytes</translation>
    </message>
    <message>
        <source>无法创建文件夹 %1</source>
        <translation>cannot create the folder %1</translation>
    </message>
</context>
<context>
    <name>ListenPort</name>
    <message>
        <source>另一个程序占用了所有地址上的 UDP %1</source>
        <translation>another program holds UDP %1 on all addresses</translation>
    </message>
</context>
<context>
    <name>LogDialog</name>
    <message>
        <source>QuorvelClient调试窗口</source>
        <translation>QuorvelClient debug window</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Quorvel客户端</source>
        <translation>Quorvel client</translation>
    </message>
    <message>
        <source>Quorvel</source>
        <translation>Quorvel</translation>
    </message>
    <message>
        <source>菜单</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>最小化</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>最大化</source>
        <translation>Maximize</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>关闭窗口</source>
        <translation>Close the window</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>找到的Quorvel设备和客户端</source>
        <translation>Quorvel devices and clients found</translation>
    </message>
    <message>
        <source>刷新 (F5)</source>
        <translation>Refresh (F5)</translation>
    </message>
    <message>
        <source>刷新设备列表</source>
        <translation>Refresh the device list</translation>
    </message>
    <message>
        <source>上传到机密盘</source>
        <translation>Upload to the confidential area</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>PushButton</source>
        <translation>PushButton</translation>
    </message>
    <message>
        <source>Ctrl+M, Ctrl+E, Ctrl+E, Ctrl+T</source>
        <translation>Ctrl+M, Ctrl+E, Ctrl+E, Ctrl+T</translation>
    </message>
    <message>
        <source>是否下载来自 </source>
        <translation>Download the file from </translation>
    </message>
    <message>
        <source> 的文件：</source>
        <translation>: </translation>
    </message>
    <message>
        <source>?</source>
        <translation>?</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>%1（来自 %2）</source>
        <translation>%1 (from %2)</translation>
    </message>
    <message>
        <source>是否下载以下 %1 个文件？
</source>
        <translation>Download these %1 files?
</translation>
    </message>
    <message>
        <source>%1 已存在。替换它，还是保留两个文件？</source>
        <translation>%1 exists already. Replace it, or keep both files?</translation>
    </message>
    <message>
        <source>替换</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>保留两者</source>
        <translation>Keep both</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>文件标签</source>
        <translation>File tabs</translation>
    </message>
    <message>
        <source>V</source>
        <translation>V</translation>
    </message>
    <message>
        <source>手动添加设备</source>
        <translation>Add a device by hand</translation>
    </message>
    <message>
        <source>检查网络</source>
        <translation>Check the network</translation>
    </message>
    <message>
        <source>检查网络：为什么找不到设备</source>
        <translation>Check the network: why no device is found</translation>
    </message>
    <message>
        <source>还没有找到Quorvel设备。每隔几秒会再找一次；也可以手动添加设备，或检查网络。</source>
        <translation>No Quorvel device found yet. The client looks again every few seconds; you can also add a device by hand or check the network.</translation>
    </message>
    <message>
        <source>正在查找局域网中的Quorvel设备…</source>
        <translation>Looking for Quorvel devices on the local network…</translation>
    </message>
    <message>
        <source>正在检查网络…</source>
        <translation>Checking the network…</translation>
    </message>
    <message>
        <source>网络检查</source>
        <translation>Network check</translation>
    </message>
    <message>
        <source>没有发现问题。</source>
        <translation>No problem found.</translation>
    </message>
    <message>
        <source>发现了可能让设备找不到的问题。</source>
        <translation>Found problems that can keep devices from being found.</translation>
    </message>
    <message>
        <source>端口 %1 被占用 (%2)，稍后重试</source>
        <translation>Port %1 is taken (%2); trying again later</translation>
    </message>
    <message>
        <source>微软雅黑</source>
        <translation>Microsoft YaHei</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>上传文件</source>
        <translation>Upload a file</translation>
    </message>
    <message>
        <source>上传多个文件</source>
        <translation>Upload files</translation>
    </message>
    <message>
        <source>设置欢迎辞</source>
        <translation>Set the welcome text</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>开始扫描服务器!</source>
        <translation>Looking for devices!</translation>
    </message>
    <message>
        <source>查找结束,总共找到 %1 个设备.</source>
        <translation>Search finished, %1 devices found.</translation>
    </message>
    <message>
        <source>找到服务器&quot;</source>
        <translation>Found the device &quot;</translation>
    </message>
    <message>
        <source>&quot;</source>
        <translation>&quot;</translation>
    </message>
    <message>
        <source>客户端</source>
        <translation>Client</translation>
    </message>
    <message>
        <source>Quorvel设备</source>
        <translation>Quorvel device</translation>
    </message>
    <message>
        <source>服务器&quot;</source>
        <translation>The device &quot;</translation>
    </message>
    <message>
        <source>&quot;下线</source>
        <translation>&quot; went away</translation>
    </message>
    <message>
        <source>最近文件</source>
        <translation>Recent files</translation>
    </message>
    <message>
        <source>选择要上传到Quorvel的文件.</source>
        <translation>Choose the file to upload to the Quorvel.</translation>
    </message>
    <message>
        <source>选择要上传到Quorvel的一个到多个文件.</source>
        <translation>Choose one or more files to upload to the Quorvel.</translation>
    </message>
    <message>
        <source>没有可以上传的文件。</source>
        <translation>There are no files to upload.</translation>
    </message>
    <message>
        <source>部分文件没有上传。</source>
        <translation>Some files were not uploaded.</translation>
    </message>
    <message>
        <source>收到文件</source>
        <translation>File offered</translation>
    </message>
    <message>
        <source>%1 发来了 %2</source>
        <translation>%1 offers %2</translation>
    </message>
    <message>
        <source>传输完成</source>
        <translation>Transfer done</translation>
    </message>
    <message>
        <source>传输失败</source>
        <translation>Transfer failed</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>发送到多个设备</source>
        <translation>Send to several devices</translation>
    </message>
</context>
<context>
    <name>ManualDevicesManageDialog</name>
    <message>
        <source>手动添加设备</source>
        <translation>Add a device by hand</translation>
    </message>
    <message>
        <source>已添加的设备:</source>
        <translation>Added devices:</translation>
    </message>
    <message>
        <source>已添加的设备</source>
        <translation>Added devices</translation>
    </message>
    <message>
        <source>双击设备以移除.</source>
        <translation>Double-click a device to remove it.</translation>
    </message>
    <message>
        <source>添加设备</source>
        <translation>Add a device</translation>
    </message>
    <message>
        <source>端口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>16020</source>
        <translation>16020</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>无效的ip地址.</source>
        <translation>Not a valid IP address.</translation>
    </message>
    <message>
        <source>无效的端口.</source>
        <translation>Not a valid port.</translation>
    </message>
    <message>
        <source>添加失败, 这个ip地址已经存在.</source>
        <translation>Not added: this IP address is there already.</translation>
    </message>
    <message>
        <source>删除失败</source>
        <translation>Could not remove it</translation>
    </message>
    <message>
        <source>请输入IP地址、主机名或地址段(如 198.51.100.0/24, 最大 /22).</source>
        <translation>Enter an IP address, a host name or an address range (such as 198.51.100.0/24, at most /22).</translation>
    </message>
    <message>
        <source>地址、主机名或地址段:</source>
        <translation>Address, host name or range:</translation>
    </message>
    <message>
        <source>地址、主机名或地址段</source>
        <translation>Address, host name or range</translation>
    </message>
    <message>
        <source>设备的 IPv4 地址 (如 198.51.100.7)、主机名 (每次查找时重新解析), 或 CIDR 形式的 IPv4 地址段 (如 198.51.100.0/24, 最大 /22). 端口填在右边.</source>
        <translation>The device&apos;s IPv4 address (such as 198.51.100.7), a host name (looked up again at every search), or an IPv4 range in CIDR form (such as 198.51.100.0/24, at most a /22). The port goes in the field on the right.</translation>
    </message>
    <message>
        <source>198.51.100.7 或 198.51.100.0/24</source>
        <translation>198.51.100.7 or 198.51.100.0/24</translation>
    </message>
</context>
<context>
    <name>NativeFileThumb</name>
    <message>
        <source>%1 已不存在</source>
        <translation>%1 no longer exists</translation>
    </message>
    <message>
        <source>%1 不是可读取的图片</source>
        <translation>%1 is not a readable image</translation>
    </message>
</context>
<context>
    <name>OfferInbox</name>
    <message>
        <source>等待中的分发文件过多 (每方 %1 个, 共 %2 个)</source>
        <translation>too many offers waiting (%1 from one party, %2 in all)</translation>
    </message>
    <message>
        <source>已拒绝</source>
        <translation>declined</translation>
    </message>
    <message>
        <source>%1 不在接收文件的来源之列</source>
        <translation>%1 is not a party to accept files from</translation>
    </message>
</context>
<context>
    <name>PartialFile</name>
    <message>
        <source>%1 不是本程序的记录: 保持原样</source>
        <translation>%1 is not this program&apos;s record: left as it is</translation>
    </message>
    <message>
        <source>无法写入 %1: %2</source>
        <translation>cannot write %1: %2</translation>
    </message>
    <message>
        <source>%1 属于其它内容: 保持原样</source>
        <translation>%1 belongs to something else: left as it is</translation>
    </message>
    <message>
        <source>无法清空 %1: %2</source>
        <translation>cannot empty %1: %2</translation>
    </message>
    <message>
        <source>%1 不是普通文件: 下载内容保留在 %2</source>
        <translation>%1 is not a plain file: the download stays in %2</translation>
    </message>
    <message>
        <source>无法将 %1 重命名为 %2: %3</source>
        <translation>cannot rename %1 to %2: %3</translation>
    </message>
</context>
<context>
    <name>ProgressDockWidget</name>
    <message>
        <source>传输进度</source>
        <translation>Transfers</translation>
    </message>
    <message>
        <source>清除全部</source>
        <translation>Clear all</translation>
    </message>
    <message>
        <source>border:0px;</source>
        <translation>border:0px;</translation>
    </message>
    <message>
        <source>传输列表</source>
        <translation>Transfer list</translation>
    </message>
    <message>
        <source>上传文件:&quot;</source>
        <translation>Upload &quot;</translation>
    </message>
    <message>
        <source>下载文件:&quot;</source>
        <translation>Download &quot;</translation>
    </message>
    <message>
        <source>机密上传:&quot;</source>
        <translation>Confidential upload &quot;</translation>
    </message>
    <message>
        <source>&quot;失败. 原因: </source>
        <translation>&quot; failed. Reason: </translation>
    </message>
    <message>
        <source>&quot;成功.</source>
        <translation>&quot; succeeded.</translation>
    </message>
</context>
<context>
    <name>ProgressWidget</name>
    <message>
        <source>传输进度</source>
        <translation>Transfers</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>在本地打开</source>
        <translation>Open here</translation>
    </message>
    <message>
        <source>打开所在目录</source>
        <translation>Open the folder</translation>
    </message>
    <message>
        <source>在Quorvel上删除</source>
        <translation>Delete on the Quorvel</translation>
    </message>
    <message>
        <source>在Quorvel上打开</source>
        <translation>Open on the Quorvel</translation>
    </message>
    <message>
        <source>&quot;失败. 原因: </source>
        <translation>&quot; failed. Reason: </translation>
    </message>
    <message>
        <source>&quot;成功.</source>
        <translation>&quot; succeeded.</translation>
    </message>
    <message>
        <source>失败，停在 %1%。原因: %2</source>
        <translation>Failed at %1%. Reason: %2</translation>
    </message>
    <message>
        <source>已完成 %1%</source>
        <translation>Done %1%</translation>
    </message>
    <message>
        <source>正在传输 %1%</source>
        <translation>Transferring %1%</translation>
    </message>
    <message>
        <source>关闭 %1</source>
        <translation>Close %1</translation>
    </message>
    <message>
        <source>重新下载/上传</source>
        <translation>Download/upload again</translation>
    </message>
    <message>
        <source>已传输 %1</source>
        <translation>%1 transferred</translation>
    </message>
    <message>
        <source>已传输 %1 / %2</source>
        <translation>%1 of %2 transferred</translation>
    </message>
    <message>
        <source>速度计算中</source>
        <translation>Working out the speed</translation>
    </message>
    <message>
        <source>速度 %1/s</source>
        <translation>Speed %1/s</translation>
    </message>
    <message>
        <source>剩余时间 %1</source>
        <translation>%1 left</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>没有可以打开它的程序，或者它已不存在：%1</source>
        <translation>No program can open it, or it is gone: %1</translation>
    </message>
    <message>
        <source>无法在本地打开文件。</source>
        <translation>Cannot open the file here.</translation>
    </message>
    <message>
        <source>无法打开所在目录。</source>
        <translation>Cannot open its folder.</translation>
    </message>
</context>
<context>
    <name>QuorvelClientDatabase</name>
    <message>
        <source>%1 被其它程序锁定</source>
        <translation>%1 is locked by another program</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>无法打开 %1: %2</source>
        <translation>cannot open %1: %2</translation>
    </message>
    <message>
        <source>%1 已损坏 (%2); 已移至 %3 并新建了一个空的</source>
        <translation>%1 was damaged (%2); it was moved aside to %3 and a new, empty one was made</translation>
    </message>
    <message>
        <source>无法写入历史记录: %1</source>
        <translation>the history could not be written: %1</translation>
    </message>
</context>
<context>
    <name>RecentFilesDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>删除记录</source>
        <translation>Remove the record</translation>
    </message>
    <message>
        <source>清空记录</source>
        <translation>Clear the records</translation>
    </message>
    <message>
        <source>最近文件</source>
        <translation>Recent files</translation>
    </message>
</context>
<context>
    <name>RecentFilesListView</name>
    <message>
        <source>最近文件</source>
        <translation>Recent files</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>删除记录</source>
        <translation>Remove the record</translation>
    </message>
    <message>
        <source>清空记录</source>
        <translation>Clear the records</translation>
    </message>
    <message>
        <source>在本地打开</source>
        <translation>Open here</translation>
    </message>
    <message>
        <source>打开所在目录</source>
        <translation>Open the folder</translation>
    </message>
    <message>
        <source>在Quorvel上删除</source>
        <translation>Delete on the Quorvel</translation>
    </message>
    <message>
        <source>在Quorvel上打开</source>
        <translation>Open on the Quorvel</translation>
    </message>
</context>
<context>
    <name>RecentFilesModel</name>
    <message>
        <source>下载</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>机密上传</source>
        <translation>Confidential upload</translation>
    </message>
    <message>
        <source>上传</source>
        <translation>Upload</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>上传/下载</source>
        <translation>Upload/download</translation>
    </message>
    <message>
        <source>操作时间</source>
        <translation>Time</translation>
    </message>
</context>
<context>
    <name>RemoteFolder</name>
    <message>
        <source>&quot;%1&quot;不是可以保存的文件名</source>
        <translation>&quot;%1&quot; is not a file name that can be stored</translation>
    </message>
    <message>
        <source>无法创建下载目录 %1</source>
        <translation>cannot make the download folder %1</translation>
    </message>
    <message>
        <source>%1 已存在: 未下载</source>
        <translation>%1 is there already: not downloaded</translation>
    </message>
</context>
<context>
    <name>SalutatorySetter</name>
    <message>
        <source>%1 没有接受欢迎辞</source>
        <translation>%1 did not take the welcome text</translation>
    </message>
    <message>
        <source>设置欢迎辞成功.</source>
        <translation>Welcome text set.</translation>
    </message>
    <message>
        <source>设置欢迎辞失败.</source>
        <translation>The welcome text could not be set.</translation>
    </message>
</context>
<context>
    <name>SalutatorySetting</name>
    <message>
        <source>欢迎辞设置</source>
        <translation>Welcome text</translation>
    </message>
    <message>
        <source>欢迎辞:</source>
        <translation>Welcome text:</translation>
    </message>
    <message>
        <source>欢迎辞</source>
        <translation>Welcome text</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>设备“%1”的欢迎辞:</source>
        <translation>Welcome text of the device &quot;%1&quot;:</translation>
    </message>
    <message>
        <source>欢迎辞内容不能为空!            </source>
        <translation>The welcome text may not be empty!            </translation>
    </message>
</context>
<context>
    <name>SendTargetsDialog</name>
    <message>
        <source>发送到多个设备</source>
        <translation>Send to several devices</translation>
    </message>
    <message>
        <source>选择要接收文件的设备:</source>
        <translation>Choose the devices to receive the files:</translation>
    </message>
    <message>
        <source>接收文件的设备</source>
        <translation>Devices to receive the files</translation>
    </message>
    <message>
        <source>全选</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>ServerContentWidget</name>
    <message>
        <source>客户端</source>
        <translation>Client</translation>
    </message>
    <message>
        <source>Quorvel服务器</source>
        <translation>Quorvel device</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Device</translation>
    </message>
</context>
<context>
    <name>SettingDialog</name>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>客户端名字</source>
        <translation>Client name</translation>
    </message>
    <message>
        <source>下载文件路径</source>
        <translation>Download folder</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>浏览下载文件路径</source>
        <translation>Browse for the download folder</translation>
    </message>
    <message>
        <source>投射快捷键</source>
        <translation>Cast shortcut</translation>
    </message>
    <message>
        <source>重置</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>重置投射快捷键</source>
        <translation>Reset the cast shortcut</translation>
    </message>
    <message>
        <source>投射镜像前确认</source>
        <translation>Ask before casting</translation>
    </message>
    <message>
        <source>开机启动</source>
        <translation>Start with the session</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>请选择文件夹</source>
        <translation>Choose a folder</translation>
    </message>
    <message>
        <source>客户端名字不能为空！</source>
        <translation>The client name may not be empty!</translation>
    </message>
    <message>
        <source>下载路径不能为空！</source>
        <translation>The download folder may not be empty!</translation>
    </message>
    <message>
        <source>设置用户名错误</source>
        <translation>The client name could not be set</translation>
    </message>
    <message>
        <source>设置下载地址错误</source>
        <translation>The download folder could not be set</translation>
    </message>
    <message>
        <source>设置投射快捷键错误</source>
        <translation>The cast shortcut could not be set</translation>
    </message>
    <message>
        <source>设置投射确认错误</source>
        <translation>The cast confirmation could not be set</translation>
    </message>
    <message>
        <source>设置开机启动错误</source>
        <translation>Starting with the session could not be set</translation>
    </message>
</context>
<context>
    <name>Task</name>
    <message>
        <source>任务没有运行到结束</source>
        <translation>the task did not run to its end</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>stopped</translation>
    </message>
</context>
<context>
    <name>TaskOutcome</name>
    <message>
        <source>%1 在 %2 秒内没有回复</source>
        <translation>%1 did not answer within %2 s</translation>
    </message>
    <message>
        <source>%1 发送的回复无效</source>
        <translation>%1 sent an answer that is not valid</translation>
    </message>
</context>
<context>
    <name>TrayIconMenu</name>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>UploadSelection</name>
    <message>
        <source>不是普通文件</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>无法读取</source>
        <translation>cannot be read</translation>
    </message>
    <message>
        <source>%1: 不存在</source>
        <translation>%1: does not exist</translation>
    </message>
    <message>
        <source>%1: 包含超过 %2 个文件; 请改为选择文件</source>
        <translation>%1: holds more than %2 files; choose the files instead</translation>
    </message>
    <message>
        <source>%1: 没有可读取的文件</source>
        <translation>%1: holds no readable files</translation>
    </message>
</context>
<context>
    <name>VantropeTask</name>
    <message>
        <source>投射已取消</source>
        <translation>the cast was cancelled</translation>
    </message>
    <message>
        <source>密码错误!</source>
        <translation>Wrong password!</translation>
    </message>
    <message>
        <source>服务器回复错误:</source>
        <translation>The device answered with an error: </translation>
    </message>
    <message>
        <source>请输入&quot;%1&quot;的投射密码</source>
        <translation>Enter the cast password of &quot;%1&quot;</translation>
    </message>
    <message>
        <source>
密码错误, 请重新输入</source>
        <translation>
Wrong password, please try again</translation>
    </message>
    <message>
        <source>无法启动投射程序 %1</source>
        <translation>the casting program %1 could not be started</translation>
    </message>
    <message>
        <source>投射程序崩溃了</source>
        <translation>the casting program crashed</translation>
    </message>
    <message>
        <source>投射程序已退出, 状态为 %1</source>
        <translation>the casting program ended with status %1</translation>
    </message>
    <message>
        <source>找不到投射程序 %1</source>
        <translation>the casting program %1 was not found</translation>
    </message>
    <message>
        <source>%1 没有给出可投射的地址: %2</source>
        <translation>%1 named no address to cast to: %2</translation>
    </message>
    <message>
        <source>无法组成发给 %1 的请求</source>
        <translation>cannot put together the request to %1</translation>
    </message>
    <message>
        <source>无法向 %1 发送请求: %2</source>
        <translation>cannot send the request to %1: %2</translation>
    </message>
    <message>
        <source>%1 在 %2 秒内没有回复</source>
        <translation>%1 did not answer within %2 s</translation>
    </message>
    <message>
        <source>无法读取 %1 的回复: %2</source>
        <translation>cannot read the answer of %1: %2</translation>
    </message>
    <message>
        <source>%1 发送的回复无效</source>
        <translation>%1 sent an answer that is not valid</translation>
    </message>
</context>
<context>
    <name>WarningBox</name>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>开机启动时使用: 隐藏在托盘中启动.</source>
        <translation>Used at start-up: start hidden in the tray.</translation>
    </message>
</context>
</TS>
