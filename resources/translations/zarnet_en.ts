<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>FormLayout</name>
    <message>
        <source>点阵信息</source>
        <translation>Dot matrix</translation>
    </message>
    <message>
        <source>字体</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>文字</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>图片</source>
        <translation>Image</translation>
    </message>
    <message>
        <source>显示位置与大小</source>
        <translation>Position and size</translation>
    </message>
    <message>
        <source>X起点 Y起点 宽度  高度</source>
        <translation>X    Y    Width Height</translation>
    </message>
    <message>
        <source>显示时段控制</source>
        <translation>When shown</translation>
    </message>
    <message>
        <source>一直显示</source>
        <translation>Always</translation>
    </message>
    <message>
        <source>每日时段</source>
        <translation>Daily</translation>
    </message>
    <message>
        <source>星期范围</source>
        <translation>Weekly</translation>
    </message>
    <message>
        <source>每月日期</source>
        <translation>Monthly</translation>
    </message>
    <message>
        <source>说明：</source>
        <translation>Note:</translation>
    </message>
    <message>
        <source>示例：</source>
        <translation>Example:</translation>
    </message>
    <message>
        <source>表示：</source>
        <translation>Means:</translation>
    </message>
    <message>
        <source>清空点阵</source>
        <translation>Clear sign</translation>
    </message>
    <message>
        <source>发送点阵</source>
        <translation>Send image</translation>
    </message>
    <message>
        <source>起始单元</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>单元数量</source>
        <translation>Count</translation>
    </message>
    <message>
        <source>下载数据</source>
        <translation>Write units</translation>
    </message>
    <message>
        <source>立即显示</source>
        <translation>Show now</translation>
    </message>
    <message>
        <source>固定显示</source>
        <translation>Show fixed</translation>
    </message>
    <message>
        <source>返回数据</source>
        <translation>Read units</translation>
    </message>
    <message>
        <source>获取数据</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>控制信息</source>
        <translation>Control</translation>
    </message>
    <message>
        <source>串口号：</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>设备编号：</source>
        <translation>Device number:</translation>
    </message>
    <message>
        <source>打开串口</source>
        <translation>Open port</translation>
    </message>
    <message>
        <source>测试连接</source>
        <translation>Test link</translation>
    </message>
    <message>
        <source>同步时间</source>
        <translation>Set clock</translation>
    </message>
    <message>
        <source>开机</source>
        <translation>Power on</translation>
    </message>
    <message>
        <source>关机</source>
        <translation>Power off</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>没有可以使用的通讯端口</source>
        <translation>No serial port can be used.</translation>
    </message>
    <message>
        <source>端口打开错误~!</source>
        <translation>The port cannot be opened.</translation>
    </message>
    <message>
        <source>串口未打开，请先打开串口~!</source>
        <translation>The serial port is not open. Open it first.</translation>
    </message>
    <message>
        <source>数据发送失败~!</source>
        <translation>The data could not be sent.</translation>
    </message>
    <message>
        <source>找到  %1 号设备~！</source>
        <translation>Found device %1.</translation>
    </message>
    <message>
        <source>起始单元须为 0 到 255 的整数~!</source>
        <translation>The start unit must be a whole number from 0 to 255.</translation>
    </message>
    <message>
        <source>单元数量须为 0 到 9 的整数~!</source>
        <translation>The unit count must be a whole number from 0 to 9.</translation>
    </message>
    <message>
        <source>单元数量须为 0 到 255 的整数~!</source>
        <translation>The unit count must be a whole number from 0 to 255.</translation>
    </message>
    <message>
        <source>第 %1 个数据须为 0 到 2147483647 之间的数~!</source>
        <translation>Value %1 must be a number from 0 to 2147483647.</translation>
    </message>
    <message>
        <source>X起点须为 0 到 255 的整数~!</source>
        <translation>X start must be a whole number from 0 to 255.</translation>
    </message>
    <message>
        <source>Y起点须为 0 到 255 的整数~!</source>
        <translation>Y start must be a whole number from 0 to 255.</translation>
    </message>
    <message>
        <source>宽度须为 0 到 2047 的整数~!</source>
        <translation>The width must be a whole number from 0 to 2047.</translation>
    </message>
    <message>
        <source>高度须为 0 到 255 的整数~!</source>
        <translation>The height must be a whole number from 0 to 255.</translation>
    </message>
    <message>
        <source>图像过大：宽度/8 × 高度不能超过 2048 字节~!</source>
        <translation>The image is too large: width/8 × height cannot exceed 2048 bytes.</translation>
    </message>
    <message>
        <source>开始时间须为 hhmm：前两位为时，后两位为分，时×60+分在 0 到 4095 之间~!</source>
        <translation>The start time must be hhmm: two digits of hours, two of minutes, with hours × 60 + minutes from 0 to 4095.</translation>
    </message>
    <message>
        <source>结束时间须为 hhmm：前两位为时，后两位为分，时×60+分在 0 到 4095 之间~!</source>
        <translation>The end time must be hhmm: two digits of hours, two of minutes, with hours × 60 + minutes from 0 to 4095.</translation>
    </message>
    <message>
        <source>开始值须为 0 到 255 的整数~!</source>
        <translation>The start value must be a whole number from 0 to 255.</translation>
    </message>
    <message>
        <source>结束值须为 0 到 255 的整数~!</source>
        <translation>The end value must be a whole number from 0 to 255.</translation>
    </message>
    <message>
        <source>地址无效：网络连接只支持 tcp://主机:端口~!</source>
        <translation>Invalid address: a network link takes only tcp://host:port.</translation>
    </message>
    <message>
        <source>地址无效：缺少主机名~!</source>
        <translation>Invalid address: the host name is missing.</translation>
    </message>
    <message>
        <source>地址无效：缺少端口号（tcp://主机:端口）~!</source>
        <translation>Invalid address: the port number is missing (tcp://host:port).</translation>
    </message>
    <message>
        <source>地址无效：端口须为 1 到 65535 的整数~!</source>
        <translation>Invalid address: the port must be a whole number from 1 to 65535.</translation>
    </message>
</context>
<context>
    <name>ScheduleMode</name>
    <message>
        <source>永久显示，不受时间段控制</source>
        <translation>Always shown, at any time</translation>
    </message>
    <message>
        <source>在每天指定的时间段内显示</source>
        <translation>Shown daily between times</translation>
    </message>
    <message>
        <source>示例：0845 -- 2130 表示：</source>
        <translation>e.g. 0845 -- 2130 means</translation>
    </message>
    <message>
        <source>每天8:45到21:30之间显示</source>
        <translation>daily from 8:45 to 21:30</translation>
    </message>
    <message>
        <source>在每星期指定的日期内显示</source>
        <translation>Shown on days of the week</translation>
    </message>
    <message>
        <source>示例：0 -- 2 表示：每周的</source>
        <translation>e.g. 0 -- 2 means</translation>
    </message>
    <message>
        <source>星期日、一、二这三天显示</source>
        <translation>Sunday, Monday and Tuesday</translation>
    </message>
    <message>
        <source>在每月指定的日期内显示</source>
        <translation>Shown on dates each month</translation>
    </message>
    <message>
        <source>示例：5 -- 15 表示：每月</source>
        <translation>e.g. 5 -- 15 means</translation>
    </message>
    <message>
        <source>5号到15号这11天之间显示</source>
        <translation>days 5 to 15, 11 in all</translation>
    </message>
</context>
<context>
    <name>SpokenName</name>
    <message>
        <source>点阵预览</source>
        <translation>dot-matrix preview</translation>
    </message>
    <message>
        <source>256 × 64 点的画布；发送点阵时取其左上角宽度 × 高度个点</source>
        <translation>A 256 × 64-dot canvas; Send image takes its top-left width × height dots</translation>
    </message>
    <message>
        <source>点阵文字</source>
        <translation>sign text</translation>
    </message>
    <message>
        <source>X 起点</source>
        <translation>X start</translation>
    </message>
    <message>
        <source>Y 起点</source>
        <translation>Y start</translation>
    </message>
    <message>
        <source>宽度</source>
        <translation>width</translation>
    </message>
    <message>
        <source>高度</source>
        <translation>height</translation>
    </message>
    <message>
        <source>开始值</source>
        <translation>schedule start</translation>
    </message>
    <message>
        <source>结束值</source>
        <translation>schedule end</translation>
    </message>
    <message>
        <source>起始单元</source>
        <translation>start unit</translation>
    </message>
    <message>
        <source>单元数量</source>
        <translation>unit count</translation>
    </message>
    <message>
        <source>单元 %1</source>
        <translation>unit %1</translation>
    </message>
    <message>
        <source>读回起始单元</source>
        <translation>read-back start unit</translation>
    </message>
    <message>
        <source>读回单元数量</source>
        <translation>read-back unit count</translation>
    </message>
    <message>
        <source>读回值 %1</source>
        <translation>read-back %1</translation>
    </message>
    <message>
        <source>串口号</source>
        <translation>serial port</translation>
    </message>
    <message>
        <source>设备编号</source>
        <translation>device number</translation>
    </message>
</context>
<context>
    <name>zarnet::BoardWindow</name>
    <message>
        <source>&lt;b&gt;设备 %1&lt;/b&gt;&lt;br&gt;时钟 %2&lt;br&gt;%3&lt;br&gt;&lt;br&gt;</source>
        <translation>&lt;b&gt;Device %1&lt;/b&gt;&lt;br&gt;Clock %2&lt;br&gt;%3&lt;br&gt;&lt;br&gt;</translation>
    </message>
    <message>
        <source>开机</source>
        <translation>Powered on</translation>
    </message>
    <message>
        <source>关机</source>
        <translation>Powered off</translation>
    </message>
    <message>
        <source>单元：无</source>
        <translation>Units: none</translation>
    </message>
    <message>
        <source>单元 %1 = %2&lt;br&gt;</source>
        <translation>Unit %1 = %2&lt;br&gt;</translation>
    </message>
    <message>
        <source>点阵屏</source>
        <translation>LED panel</translation>
    </message>
    <message>
        <source>线路记录</source>
        <translation>line log</translation>
    </message>
</context>
<context>
    <name>zarnet::DotPanel</name>
    <message>
        <source>位图文件(*.bmp)</source>
        <translation>Bitmap files (*.bmp)</translation>
    </message>
</context>
<context>
    <name>zarnet::MainForm</name>
    <message>
        <source>LED点阵屏控制</source>
        <translation>LED dot-matrix sign control</translation>
    </message>
</context>
<context>
    <name>zarnet::StatusLamp</name>
    <message>
        <source>串口已打开</source>
        <translation>port open</translation>
    </message>
    <message>
        <source>正在连接</source>
        <translation>connecting</translation>
    </message>
    <message>
        <source>串口未打开</source>
        <translation>port closed</translation>
    </message>
</context>
</TS>
