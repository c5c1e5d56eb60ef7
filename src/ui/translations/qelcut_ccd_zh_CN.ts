<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="zh_CN">
<context>
    <name>qel::ui::cameraTransfer</name>
    <message>
        <source>File: Moving</source>
        <translation>文件：移动中</translation>
    </message>
    <message>
        <source>File: Move finished</source>
        <translation>文件：移动完成</translation>
    </message>
    <message>
        <source>Wheel Zoom</source>
        <translation>滚轮缩放</translation>
    </message>
    <message>
        <source>When on, the mouse wheel zooms the pattern; when off, it scrolls</source>
        <translation>打开时鼠标滚轮缩放图形；关闭时滚轮滚动图形</translation>
    </message>
    <message>
        <source>File: Pattern selected</source>
        <translation>文件：图形已选中</translation>
    </message>
    <message>
        <source>File: Pattern unselected</source>
        <translation>文件：图形未选中</translation>
    </message>
    <message>
        <source>CCD CUT</source>
        <translation>CCD 切割</translation>
    </message>
    <message>
        <source>Move</source>
        <translation>移动</translation>
    </message>
    <message>
        <source>Mark Point</source>
        <translation>定位点</translation>
    </message>
    <message>
        <source>Adjust</source>
        <translation>校正</translation>
    </message>
    <message>
        <source>Pattern</source>
        <translation>图形</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>切割</translation>
    </message>
    <message>
        <source>Camera</source>
        <translation>相机</translation>
    </message>
    <message>
        <source>Slow</source>
        <translation>慢速</translation>
    </message>
    <message>
        <source>Fast</source>
        <translation>快速</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>手动</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>Move the mark under the camera to the centre</source>
        <translation>将相机下的定位点移到中心</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Auto Adjust </source>
        <translation>自动校正 </translation>
    </message>
    <message>
        <source>Manual Adjust </source>
        <translation>手动校正 </translation>
    </message>
    <message>
        <source>Sel All</source>
        <translation>全选</translation>
    </message>
    <message>
        <source>Front</source>
        <translation>正面</translation>
    </message>
    <message>
        <source>Reverse</source>
        <translation>反面</translation>
    </message>
    <message>
        <source>&lt;&lt;Prev Plate</source>
        <translation>&lt;&lt;上一版</translation>
    </message>
    <message>
        <source>Next Plate&gt;&gt;</source>
        <translation>下一版&gt;&gt;</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Save Image</source>
        <translation>保存图像</translation>
    </message>
    <message>
        <source>Load Para</source>
        <translation>载入参数</translation>
    </message>
    <message>
        <source>Calibration Correction</source>
        <translation>标定修正</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Cut type:</source>
        <translation>切割方式：</translation>
    </message>
    <message>
        <source>Calibration set:</source>
        <translation>标定组：</translation>
    </message>
    <message>
        <source>Print Marks</source>
        <translation>打印定位点</translation>
    </message>
    <message>
        <source>Print Patterns</source>
        <translation>打印图形</translation>
    </message>
    <message>
        <source>Auto Multi Print</source>
        <translation>自动多版打印</translation>
    </message>
    <message>
        <source>Auto Repeat Print</source>
        <translation>自动重复打印</translation>
    </message>
    <message>
        <source>Caculate Y-Axis Rotate</source>
        <translation>计算Y轴偏转</translation>
    </message>
    <message>
        <source>File: Ready</source>
        <translation>文件：就绪</translation>
    </message>
    <message>
        <source>Camera: Open,Grabing</source>
        <translation>相机：已打开，采集中</translation>
    </message>
    <message>
        <source>Camera: Close</source>
        <translation>相机：关闭</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>提示信息</translation>
    </message>
    <message>
        <source>Can't capture the mark point,Change to manual mode? Press 'OK' to change, Press 'Cancel' to stop</source>
        <translation>无法捕捉定位点，是否切换到手动模式？按“确定”切换，按“取消”停止</translation>
    </message>
    <message>
        <source>Operate: Ready</source>
        <translation>操作：就绪</translation>
    </message>
    <message>
        <source>Operate: Ready </source>
        <translation>操作：就绪 </translation>
    </message>
    <message>
        <source>Operate: Auto Marking</source>
        <translation>操作：自动寻点</translation>
    </message>
    <message>
        <source>Operate: Mark finished</source>
        <translation>操作：寻点完成</translation>
    </message>
    <message>
        <source>Operate: Auto Adjusting</source>
        <translation>操作：自动校正中</translation>
    </message>
    <message>
        <source>Operate: Manual Marking</source>
        <translation>操作：手动寻点</translation>
    </message>
    <message>
        <source>Operate: Manual Marking(to Center)</source>
        <translation>操作：手动寻点（对中）</translation>
    </message>
    <message>
        <source>Operate: To Center</source>
        <translation>操作：对中</translation>
    </message>
    <message>
        <source>Operate: Calibration correcting</source>
        <translation>操作：标定修正中</translation>
    </message>
    <message>
        <source>Operate:</source>
        <translation>操作：</translation>
    </message>
    <message>
        <source>File: Saving selected pattern</source>
        <translation>文件：正在保存选中图形</translation>
    </message>
    <message>
        <source>File: Save selected pattern finished</source>
        <translation>文件：选中图形保存完成</translation>
    </message>
    <message>
        <source>File: Save selected pattern failed</source>
        <translation>文件：选中图形保存失败</translation>
    </message>
    <message>
        <source>File: Save tmp file faild</source>
        <translation>文件：临时文件保存失败</translation>
    </message>
    <message>
        <source>File: Sending selected pattern</source>
        <translation>文件：正在发送选中图形</translation>
    </message>
    <message>
        <source>File: Send selected pattern finished</source>
        <translation>文件：选中图形发送完成</translation>
    </message>
    <message>
        <source>File: Send selected pattern failed</source>
        <translation>文件：选中图形发送失败</translation>
    </message>
    <message>
        <source>Press 'OK' to confirm</source>
        <translation>按“确定”确认</translation>
    </message>
    <message>
        <source>File: Loading</source>
        <translation>文件：正在载入</translation>
    </message>
    <message>
        <source>File: Load finished</source>
        <translation>文件：载入完成</translation>
    </message>
    <message>
        <source>File: Not exist</source>
        <translation>文件：不存在</translation>
    </message>
    <message>
        <source>File: Format error, Load failed</source>
        <translation>文件：格式错误，载入失败</translation>
    </message>
    <message>
        <source>Tip</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>This file is the last one!</source>
        <translation>这已是最后一个文件！</translation>
    </message>
    <message>
        <source>This file is the first one!</source>
        <translation>这已是第一个文件！</translation>
    </message>
    <message>
        <source>Are you sure to Corretion the Calibration ratio?</source>
        <translation>确定要修正标定比例吗？</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>something is wrong with your camera, please check!</source>
        <translation>相机出现故障，请检查！</translation>
    </message>
    <message>
        <source>Can't capture the mark point!</source>
        <translation>无法捕捉定位点！</translation>
    </message>
    <message>
        <source>Three mark points can't give both scales: please use 2 or at least 4 mark points!</source>
        <translation>三个定位点无法同时确定两个方向的比例：请使用2个或至少4个定位点！</translation>
    </message>
    <message>
        <source>Please make sure the selected pattern has more than 2 mark points!</source>
        <translation>请确认选中的图形有2个以上的定位点！</translation>
    </message>
    <message>
        <source>Please move the mark point to more corner place!</source>
        <translation>请将定位点移到更靠近角落的位置！</translation>
    </message>
    <message>
        <source>Correction Failed!</source>
        <translation>修正失败！</translation>
    </message>
    <message>
        <source>Correction Successfully!</source>
        <translation>修正成功！</translation>
    </message>
    <message>
        <source>Adjust OK!</source>
        <translation>校正完成！</translation>
    </message>
    <message>
        <source>Params is out of Limits, Adjust Failed!</source>
        <translation>参数超出范围，校正失败！</translation>
    </message>
    <message>
        <source>Can't read the machine position!</source>
        <translation>无法读取机器位置！</translation>
    </message>
    <message>
        <source>The machine doesn't accept the move command!</source>
        <translation>机器不接受移动命令！</translation>
    </message>
    <message>
        <source>The machine didn't reach the position!</source>
        <translation>机器未到达指定位置！</translation>
    </message>
    <message>
        <source>Machine going to out of  block, Forced stop it.</source>
        <translation>机器将超出运动范围，已强制停止。</translation>
    </message>
    <message>
        <source>Create adjust handle failed!</source>
        <translation>创建校正线程失败！</translation>
    </message>
    <message>
        <source>save file failed!</source>
        <translation>保存文件失败！</translation>
    </message>
    <message>
        <source>Are you sure to exit the CCD CUT mode?</source>
        <translation>确定要退出CCD切割模式吗？</translation>
    </message>
    <message>
        <source>Mark residuals (mm): %1</source>
        <translation>标记点残差（mm）：%1</translation>
    </message>
    <message>
        <source>Mark %1 is %2 mm off the corrected pattern (limit %3 mm): the pattern was not sent.</source>
        <translation>标记点 %1 偏离校正后的图案 %2 mm（上限 %3 mm）：图案未发送。</translation>
    </message>
    <message>
        <source>Auto (by code)</source>
        <translation>自动（按条码）</translation>
    </message>
    <message>
        <source>Mark %1: not found, left out</source>
        <translation>标记点 %1：未找到，已略去</translation>
    </message>
    <message>
        <source>Mark %1: confidence %2</source>
        <translation>标记点 %1：可信度 %2</translation>
    </message>
    <message>
        <source>(measured again)</source>
        <translation>（已重新测量）</translation>
    </message>
    <message>
        <source>(found by searching)</source>
        <translation>（搜索后找到）</translation>
    </message>
    <message>
        <source>Contrast %1, roundness %2, fit %3</source>
        <translation>对比度 %1，圆度 %2，拟合度 %3</translation>
    </message>
    <message>
        <source>Sheet %1: job %2</source>
        <translation>第 %1 张：作业 %2</translation>
    </message>
    <message>
        <source>Sheet %1: cut</source>
        <translation>第 %1 张：已切割</translation>
    </message>
    <message>
        <source>Sheet %1: skipped</source>
        <translation>第 %1 张：已跳过</translation>
    </message>
    <message>
        <source>The first mark was found too far from its place: it is not used. Put the head over the sheet's first mark and start again.</source>
        <translation>第一个标记点离应在的位置太远，不予采用。请把机头移到该张材料的第一个标记点上，再重新开始。</translation>
    </message>
    <message>
        <source>The sheet's code names no job in the job folder.</source>
        <translation>该张材料的条码在作业文件夹中找不到对应的作业。</translation>
    </message>
    <message>
        <source>No job code was found beside the first mark.</source>
        <translation>第一个标记点旁没有找到作业条码。</translation>
    </message>
    <message>
        <source>The sheet feeder did not answer.</source>
        <translation>送料器没有响应。</translation>
    </message>
    <message>
        <source>Too few marks were found to fit the pattern.</source>
        <translation>找到的标记点太少，无法校正图形。</translation>
    </message>
</context>
</TS>