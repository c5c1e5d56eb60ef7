<?xml version='1.0' encoding='utf-8'?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>FieldWords</name>
    <message>
        <source>%1 must be a whole number from %2 to %3.</source>
        <translation>%1 必须是 %2 到 %3 之间的整数。</translation>
    </message>
    <message>
        <source>%1 must be a number from %2 to %3.</source>
        <translation>%1 必须是 %2 到 %3 之间的数值。</translation>
    </message>
    <message>
        <source>%1 is empty: it must hold a number.</source>
        <translation>%1 为空：必须填写一个数值。</translation>
    </message>
</context>
<context>
    <name>QueueWords</name>
    <message>
        <source>the file is gone</source>
        <translation>文件已不存在</translation>
    </message>
    <message>
        <source>its characters cannot be converted</source>
        <translation>其字符无法转换</translation>
    </message>
    <message>
        <source>it changed while it was read; it is read again</source>
        <translation>读取时文件发生了变化，将重新读取</translation>
    </message>
    <message>
        <source>it cannot be read</source>
        <translation>无法读取</translation>
    </message>
    <message>
        <source>it is empty</source>
        <translation>文件为空</translation>
    </message>
    <message>
        <source>it is not a plot file</source>
        <translation>不是绘图文件</translation>
    </message>
    <message>
        <source>it holds no plot command</source>
        <translation>不含任何绘图命令</translation>
    </message>
    <message>
        <source>its width is out of range</source>
        <translation>宽度超出范围</translation>
    </message>
    <message>
        <source>it needs more pages than allowed</source>
        <translation>所需页数超过允许的数量</translation>
    </message>
    <message>
        <source>its labels need the label font, which is missing</source>
        <translation>其文字需要字库，但找不到字库</translation>
    </message>
    <message>
        <source>a page file cannot be written</source>
        <translation>无法写入页面文件</translation>
    </message>
    <message>
        <source>it has no cut line: no path in a cut colour ([Input] CutColours, CutRGB, CutAll)</source>
        <translation>没有切割线：没有切割颜色的路径（[Input] CutColours、CutRGB、CutAll）</translation>
    </message>
    <message>
        <source>the PDF is protected by a password; save it without one</source>
        <translation>PDF 受密码保护；请另存为不带密码的文件</translation>
    </message>
    <message>
        <source>the drawing is damaged, empty or not a PDF or SVG drawing</source>
        <translation>图稿已损坏、为空，或不是 PDF 或 SVG 图稿</translation>
    </message>
    <message>
        <source>it cannot be processed</source>
        <translation>无法处理</translation>
    </message>
    <message>
        <source>the machine cannot be reached</source>
        <translation>无法连接到机器</translation>
    </message>
    <message>
        <source>the connection to the machine broke</source>
        <translation>与机器的连接中断</translation>
    </message>
    <message>
        <source>stopped part-way; the machine keeps nothing of it</source>
        <translation>中途停止；机器不保留其任何部分</translation>
    </message>
    <message>
        <source>the machine refused the file</source>
        <translation>机器拒绝了该文件</translation>
    </message>
    <message>
        <source>the machine gave no CRC answer</source>
        <translation>机器没有返回校验码</translation>
    </message>
    <message>
        <source>wrong CRC</source>
        <translation>校验码错误</translation>
    </message>
    <message>
        <source>the transfer broke off</source>
        <translation>传输中断</translation>
    </message>
    <message>
        <source>the page file is gone</source>
        <translation>页面文件已不存在</translation>
    </message>
    <message>
        <source>the page file cannot be read</source>
        <translation>无法读取页面文件</translation>
    </message>
    <message>
        <source>the transfer type has no link</source>
        <translation>该传输类型没有可用的连接</translation>
    </message>
    <message>
        <source>the send failed</source>
        <translation>发送失败</translation>
    </message>
    <message>
        <source>waiting...</source>
        <translation>等待中...</translation>
    </message>
    <message>
        <source>Sending...</source>
        <translation>发送中...</translation>
    </message>
    <message>
        <source>Sent</source>
        <translation>已发送</translation>
    </message>
    <message>
        <source>Stopped: sent again from its start</source>
        <translation>已停止：将从头重新发送</translation>
    </message>
    <message>
        <source>Failed: %1 (queue paused)</source>
        <translation>失败：%1（队列已暂停）</translation>
    </message>
    <message>
        <source>Failed: %1 (%2 of %3)</source>
        <translation>失败：%1（第 %2 次，共 %3 次）</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>已暂停</translation>
    </message>
    <message>
        <source>Running</source>
        <translation>运行中</translation>
    </message>
    <message>
        <source>Paused: %1 (%2)</source>
        <translation>已暂停：%1（%2）</translation>
    </message>
    <message>
        <source>Paused: %1 failed %2 times in a row: %3</source>
        <translation>已暂停：%1 连续失败 %2 次：%3</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message>
        <source>the file: %1 's width is out of range, it will be moved to: %2</source>
        <translation>文件 %1 的宽度超出范围，将被移动到：%2</translation>
    </message>
    <message>
        <source>The file %1 cannot be cut: %2.</source>
        <translation>文件 %1 无法切割：%2。</translation>
    </message>
    <message>
        <source>The file %1 cannot be cut: %2.
It was moved to: %3</source>
        <translation>文件 %1 无法切割：%2。
已移动到：%3</translation>
    </message>
</context>
<context>
    <name>qel::ui::CFilesLoaderDlg</name>
    <message>
        <source>The queue paused: %1
Press Continue to go on.</source>
        <translation>队列已暂停：%1
请按“继续”接着处理。</translation>
    </message>
    <message>
        <source>%1 more messages:

%2</source>
        <translation>另有 %1 条消息：

%2</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>%1 must be an address such as 192.168.0.250.</source>
        <translation>%1 必须是形如 192.168.0.250 的地址。</translation>
    </message>
</context>
<context>
    <name>qel::ui::CPrintPreView</name>
    <message>
        <source>%1
(%2)</source>
        <translation>%1
（%2）</translation>
    </message>
</context>
<context>
    <name>qel::ui::CSettingDlg</name>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
</context>
</TS>
