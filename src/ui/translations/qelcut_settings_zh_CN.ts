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
