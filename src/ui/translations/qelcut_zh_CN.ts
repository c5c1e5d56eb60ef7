<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="zh_CN">
<context>
    <name>qel::ui::CFilesLoaderDlg</name>
    <message>
        <source>Fail</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>文件名</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Click to open directory watcher window</source>
        <translation>单击打开目录监视窗口</translation>
    </message>
    <message>
        <source>QEL CUTTING SYSTEM</source>
        <translation>QEL 切割系统</translation>
    </message>
    <message>
        <source>Send Queue</source>
        <translation>发送队列</translation>
    </message>
    <message>
        <source>Send History</source>
        <translation>发送历史</translation>
    </message>
    <message>
        <source>Recycle Bin</source>
        <translation>回收站</translation>
    </message>
    <message>
        <source>Parameters</source>
        <translation>参数</translation>
    </message>
    <message>
        <source>IP:</source>
        <translation>IP：</translation>
    </message>
    <message>
        <source>Width:</source>
        <translation>宽度：</translation>
    </message>
    <message>
        <source>Length:</source>
        <translation>长度：</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Advanced</source>
        <translation>高级</translation>
    </message>
    <message>
        <source>Watching Dir</source>
        <translation>监视目录</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>继续</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Waiting File: %1</source>
        <translation>等待文件: %1</translation>
    </message>
    <message>
        <source>Translated File: %1</source>
        <translation>已处理文件: %1</translation>
    </message>
    <message>
        <source>Sended File: %1</source>
        <translation>已发送文件: %1</translation>
    </message>
    <message>
        <source>Waiting to send files.</source>
        <translation>等待发送文件。</translation>
    </message>
    <message>
        <source>Backup File Success</source>
        <translation>备份文件成功</translation>
    </message>
    <message>
        <source>Backup File Fail</source>
        <translation>备份文件失败</translation>
    </message>
    <message>
        <source>Creating Optimize thread failed!</source>
        <translation>创建优化线程失败！</translation>
    </message>
    <message>
        <source>Create Transfer Thread Fail!</source>
        <translation>创建传输线程失败！</translation>
    </message>
    <message>
        <source>%1 sets user units (SC) without scaling points (IP): one user unit is one plotter unit, and the drawing comes out %2 mm.</source>
        <translation>%1 设置了用户单位（SC）但没有缩放点（IP）：一个用户单位按一个绘图仪单位计算，图形尺寸为 %2 毫米。</translation>
    </message>
    <message>
        <source>the file: %1 's width is out of range, it will be moved to: %2</source>
        <translation>文件：%1 的宽度超出范围，将被移至：%2</translation>
    </message>
    <message>
        <source>Select the Directory you wish to Watcher...</source>
        <translation>选择要监视的目录...</translation>
    </message>
    <message>
        <source>The path entered is not valid! Continue ?</source>
        <translation>输入的路径无效！是否继续？</translation>
    </message>
    <message>
        <source>Plot files and drawings (*.plt *.hpg *.hp2 *.hpgl *.pdf *.svg *.PLT *.HPG *.HP2 *.HPGL *.PDF *.SVG)</source>
        <translation>绘图文件和图稿 (*.plt *.hpg *.hp2 *.hpgl *.pdf *.svg *.PLT *.HPG *.HP2 *.HPGL *.PDF *.SVG)</translation>
    </message>
    <message>
        <source>to History</source>
        <translation>移至历史</translation>
    </message>
    <message>
        <source>to Bin</source>
        <translation>移至回收站</translation>
    </message>
    <message>
        <source>to Queue</source>
        <translation>移至队列</translation>
    </message>
    <message>
        <source>Modify name</source>
        <translation>修改名称</translation>
    </message>
    <message>
        <source>file name invalid!</source>
        <translation>文件名无效！</translation>
    </message>
    <message>
        <source>Print-View File Name Can't NULL.</source>
        <translation>预览文件名不能为空。</translation>
    </message>
    <message>
        <source>Print-View File Isn't Exist</source>
        <translation>预览文件不存在</translation>
    </message>
    <message>
        <source>These page files were not sent before the program stopped; they are in the recycle bin: %1</source>
        <translation>程序停止前以下页面文件未发送，已放入回收站：%1</translation>
    </message>
    <message>
        <source>transfer type %1 has no link in this build</source>
        <translation>传输类型 %1 在此版本中没有对应的连接</translation>
    </message>
    <message>
        <source>%1 cannot be read (%2): every setting has its default.</source>
        <translation>无法读取 %1（%2）：所有设置均使用默认值。</translation>
    </message>
</context>
<context>
    <name>qel::ui::CModifyName</name>
    <message>
        <source>Modify file name</source>
        <translation>修改文件名</translation>
    </message>
    <message>
        <source>file name invalid!</source>
        <translation>文件名无效！</translation>
    </message>
</context>
<context>
    <name>qel::ui::CPrintPreView</name>
    <message>
        <source>Print View</source>
        <translation>打印预览</translation>
    </message>
    <message>
        <source>Select Lines</source>
        <translation>选择线条</translation>
    </message>
    <message>
        <source>Start:</source>
        <translation>起始：</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>设定</translation>
    </message>
    <message>
        <source>Mod</source>
        <translation>修改</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>打印</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>正在加载...</translation>
    </message>
    <message>
        <source>The file cannot be read: %1</source>
        <translation>无法读取文件：%1</translation>
    </message>
    <message>
        <source>Lines: %1</source>
        <translation>线条数：%1</translation>
    </message>
    <message>
        <source>The file isn't Exist!</source>
        <translation>文件不存在！</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <source>illegal number!</source>
        <translation>非法数字！</translation>
    </message>
    <message>
        <source>Create Send Thread Fail!</source>
        <translation>创建发送线程失败！</translation>
    </message>
    <message>
        <source>Send Successfully</source>
        <translation>发送成功</translation>
    </message>
</context>
</TS>