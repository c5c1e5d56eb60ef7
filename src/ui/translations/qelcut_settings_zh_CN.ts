<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>qel::ui::AdvancedSetting</name>
    <message>
        <source>Transfer</source>
        <translation>传输</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>分页</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>字体</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>其他</translation>
    </message>
    <message>
        <source>Type:</source>
        <translation>类型：</translation>
    </message>
    <message>
        <source>Split:</source>
        <translation>分页方式：</translation>
    </message>
    <message>
        <source>DF  Page Split</source>
        <translation>DF  分页</translation>
    </message>
    <message>
        <source>Rolling Split</source>
        <translation>滚动分页</translation>
    </message>
    <message>
        <source>SP  Page Split</source>
        <translation>SP  分页</translation>
    </message>
    <message>
        <source>LK  Page Split</source>
        <translation>LK  分页</translation>
    </message>
    <message>
        <source>CCD CUT</source>
        <translation>CCD 切割</translation>
    </message>
    <message>
        <source>Outer Contours to be:   SP</source>
        <translation>外轮廓输出为：   SP</translation>
    </message>
    <message>
        <source>Font output to be: SP</source>
        <translation>字体输出为：SP</translation>
    </message>
    <message>
        <source>Font size scale:</source>
        <translation>字体缩放：</translation>
    </message>
    <message>
        <source>Font space:</source>
        <translation>字间距：</translation>
    </message>
    <message>
        <source>Font rotate:</source>
        <translation>字体旋转：</translation>
    </message>
    <message>
        <source>Font offset_x:</source>
        <translation>字体偏移_x：</translation>
    </message>
    <message>
        <source>Font offset_y:</source>
        <translation>字体偏移_y：</translation>
    </message>
    <message>
        <source>Transform &apos;CI&apos; cmd</source>
        <translation>转换 &apos;CI&apos; 指令</translation>
    </message>
    <message>
        <source>Arc Length:</source>
        <translation>弧长：</translation>
    </message>
    <message>
        <source>←detal_x:</source>
        <translation>←补偿_x：</translation>
    </message>
    <message>
        <source>↓detal_y:</source>
        <translation>↓补偿_y：</translation>
    </message>
    <message>
        <source>Cut quality</source>
        <translation>切割质量</translation>
    </message>
    <message>
        <source>Knife offset:</source>
        <translation>刀尖偏移：</translation>
    </message>
    <message>
        <source>Drag-knife tip behind its axis; 0 turns the compensation off</source>
        <translation>拖刀刀尖落后刀轴的距离；0 表示关闭补偿</translation>
    </message>
    <message>
        <source>Swivel above:</source>
        <translation>转刀角度大于：</translation>
    </message>
    <message>
        <source>Corners turning more than this angle get a swivel arc</source>
        <translation>转角大于此角度时插入转刀圆弧</translation>
    </message>
    <message>
        <source>Max mark residual:</source>
        <translation>最大标记残差：</translation>
    </message>
    <message>
        <source>CCD cut: a mark further off the fitted correction stops the cut; 0 means no limit</source>
        <translation>CCD 切割：标记点偏离拟合校正超过此值时停止切割；0 表示不限制</translation>
    </message>
    <message>
        <source>Overcut:</source>
        <translation>过切：</translation>
    </message>
    <message>
        <source>Closed paths are cut past their start by this length; 0 is off</source>
        <translation>闭合路径切过起点此长度；0 表示关闭</translation>
    </message>
    <message>
        <source>Weeding box</source>
        <translation>排废框</translation>
    </message>
    <message>
        <source>Weeding lines</source>
        <translation>排废线</translation>
    </message>
    <message>
        <source>Weed margin:</source>
        <translation>排废边距：</translation>
    </message>
    <message>
        <source>Weed pen:</source>
        <translation>排废笔号：</translation>
    </message>
    <message>
        <source>Queue</source>
        <translation>队列</translation>
    </message>
    <message>
        <source>Settle time:</source>
        <translation>稳定时间：</translation>
    </message>
    <message>
        <source>A new file in the watched folder is taken once it is closed and has stayed unchanged this long</source>
        <translation>监视文件夹中的新文件在关闭并保持此时长不变后才被取用</translation>
    </message>
    <message>
        <source>Resume after:</source>
        <translation>自动继续等待：</translation>
    </message>
    <message>
        <source>Queue without a window (qelcut watch): after the machine was out of reach it goes on by itself after this wait, each further wait twice the last; 0 never</source>
        <translation>无窗口队列（qelcut watch）：机器连接不上后，等待此时长自动继续，以后每次等待加倍；0 表示从不自动继续</translation>
    </message>
    <message>
        <source>Longest wait:</source>
        <translation>最长等待：</translation>
    </message>
    <message>
        <source>Queue without a window: the waits before it goes on grow up to this</source>
        <translation>无窗口队列：自动继续前的等待最多增长到此时长</translation>
    </message>
</context>
<context>
    <name>qel::ui::CSettingDlg</name>
    <message>
        <source>Advanced Setting</source>
        <translation>高级设置</translation>
    </message>
    <message>
        <source>Process</source>
        <translation>处理</translation>
    </message>
    <message>
        <source>Camera&amp;&amp;Machine</source>
        <translation>相机&amp;&amp;机器</translation>
    </message>
    <message>
        <source>Display</source>
        <translation>显示</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>qel::ui::CameraSetting</name>
    <message>
        <source>Calibration</source>
        <translation>标定</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>编辑</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Auto Load</source>
        <translation>自动加载</translation>
    </message>
    <message>
        <source>Camera offset</source>
        <translation>相机偏移</translation>
    </message>
    <message>
        <source>Mark</source>
        <translation>定位点</translation>
    </message>
    <message>
        <source>Target Type:</source>
        <translation>定位点类型：</translation>
    </message>
    <message>
        <source>Circle</source>
        <translation>圆形</translation>
    </message>
    <message>
        <source>Cross</source>
        <translation>十字</translation>
    </message>
    <message>
        <source>Mark times limit:</source>
        <translation>识别次数上限：</translation>
    </message>
    <message>
        <source>Mark Radius:</source>
        <translation>定位点半径：</translation>
    </message>
    <message>
        <source>SP: </source>
        <translation>SP： </translation>
    </message>
    <message>
        <source>Try to find first point automatically</source>
        <translation>自动寻找第一个定位点</translation>
    </message>
    <message>
        <source>Share between Pieces</source>
        <translation>多片共用定位点</translation>
    </message>
    <message>
        <source>Move</source>
        <translation>移动</translation>
    </message>
    <message>
        <source>Block_X:</source>
        <translation>X 行程：</translation>
    </message>
    <message>
        <source>Block_Y:</source>
        <translation>Y 行程：</translation>
    </message>
    <message>
        <source>to</source>
        <translation>至</translation>
    </message>
    <message>
        <source>Speed:</source>
        <translation>速度：</translation>
    </message>
    <message>
        <source>Accel/Decel:</source>
        <translation>加/减速度：</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Mark point delay:</source>
        <translation>定位点延时：</translation>
    </message>
    <message>
        <source>Coordinate</source>
        <translation>坐标</translation>
    </message>
    <message>
        <source>Y axis deflection:</source>
        <translation>Y 轴偏角：</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Name can&apos;t be empty !</source>
        <translation>名称不能为空！</translation>
    </message>
    <message>
        <source>Tip</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>   Make sure to delete ?</source>
        <translation>   确定要删除吗？</translation>
    </message>
    <message>
        <source>No calibration file: calibration/Config.ini</source>
        <translation>没有标定文件：calibration/Config.ini</translation>
    </message>
    <message>
        <source>Block_X: minimum value larger than maximal value</source>
        <translation>X 行程：最小值大于最大值</translation>
    </message>
    <message>
        <source>Block_Y: minimum value larger than maximal value</source>
        <translation>Y 行程：最小值大于最大值</translation>
    </message>
    <message>
        <source>Accel/Decel value is out of range(1000~5000)</source>
        <translation>加/减速度超出范围（1000~5000）</translation>
    </message>
</context>
<context>
    <name>qel::ui::PrintCutBox</name>
    <message>
        <source>Print and cut</source>
        <translation>CCD 切割</translation>
    </message>
    <message>
        <source>Search radius:</source>
        <translation>搜索半径：</translation>
    </message>
    <message>
        <source>A mark not at its predicted place is searched for out to this distance; a first mark further off is not used</source>
        <translation>定位点不在预计位置时，在此距离内搜索；离位置更远的第一个定位点不予采用</translation>
    </message>
    <message>
        <source>Min confidence:</source>
        <translation>最低可信度：</translation>
    </message>
    <message>
        <source>A mark measured with less confidence (0 to 1) is measured again</source>
        <translation>可信度（0 到 1）低于此值的定位点重新测量</translation>
    </message>
    <message>
        <source>Centre tolerance:</source>
        <translation>居中容差：</translation>
    </message>
    <message>
        <source>A mark this close to the picture&apos;s centre is taken where it lies; 0 always centres the head over it</source>
        <translation>定位点离画面中心在此距离内时按原位采用；0 表示总是把机头移到定位点正上方</translation>
    </message>
    <message>
        <source>Stand still:</source>
        <translation>静止判定：</translation>
    </message>
    <message>
        <source>The head counts as standing when two position reads this far apart agree</source>
        <translation>相隔此时长的两次位置读数一致时，认为机头已静止</translation>
    </message>
    <message>
        <source>Segment length:</source>
        <translation>分段长度：</translation>
    </message>
    <message>
        <source>Long media are registered in segments of this length; 0 registers the plate as a whole</source>
        <translation>长幅材料按此长度分段对位；0 表示整版一次对位</translation>
    </message>
    <message>
        <source>Feed timeout:</source>
        <translation>送料超时：</translation>
    </message>
    <message>
        <source>The run stops when the sheet feeder has not answered within this time</source>
        <translation>送料器在此时间内没有响应时停止运行</translation>
    </message>
    <message>
        <source>Unknown job:</source>
        <translation>未知作业：</translation>
    </message>
    <message>
        <source>A sheet whose code names no job in the job folder</source>
        <translation>条码在作业文件夹中找不到对应作业的材料</translation>
    </message>
    <message>
        <source>No code:</source>
        <translation>无条码：</translation>
    </message>
    <message>
        <source>A sheet with marks but no job code</source>
        <translation>有定位点但没有作业条码的材料</translation>
    </message>
    <message>
        <source>Stop the run</source>
        <translation>停止运行</translation>
    </message>
    <message>
        <source>Skip the sheet</source>
        <translation>跳过该张</translation>
    </message>
    <message>
        <source>Job folder:</source>
        <translation>作业文件夹：</translation>
    </message>
    <message>
        <source>The cut files that the sheets&apos; job codes name are read from this folder</source>
        <translation>材料上作业条码所指的切割文件从此文件夹读取</translation>
    </message>
    <message>
        <source>Select the job folder</source>
        <translation>选择作业文件夹</translation>
    </message>
</context>
<context>
    <name>qel::ui::DisplaySetting</name>
    <message>
        <source>Language:</source>
        <translation>语言：</translation>
    </message>
</context>
<context>
    <name>qel::ui::MarksChoose</name>
    <message>
        <source>Please select one Mark point among these</source>
        <translation>请从这些定位点中选择一个</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Tip</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Please select one Mark point</source>
        <translation>请选择一个定位点</translation>
    </message>
</context>
</TS>
