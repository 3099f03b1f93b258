#!/usr/bin/env python3
"""The CSV benchmarks' table: a header and ROWS rows of a Chinese name, a number, a date and quoted
free text (a third of them holding a comma), UTF-8 with CR LF, the same for a given ROWS.
   bench/csv_data.py PATH ROWS"""
import random, sys
path, rows = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
surnames = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝龚邵万钱严覃武戴莫孔向汤"
given = "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华玉萍红娥玲芬芳燕彩春菊兰凤洁梅琳素云莲真环雪荣爱妹霞香月莺媛艳瑞凡佳嘉琼勤珍贞莉桂娣叶璧璐娅琦晶妍茜秋珊莎锦黛青倩婷姣婉娴瑾颖露瑶怡婵雁蓓纨仪荷丹蓉眉君琴蕊薇菁梦岚苑婕馨瑗琰韵融园艺咏卿聪澜纯毓悦昭冰爽琬茗羽希宁欣飘育滢馥筠柔竹霭凝晓欢霄枫芸菲寒伊亚宜可姬舒影荔枝思丽"
words = ["很好", "不错", "一般", "还行", "推荐", "质量", "物流", "快递", "包装", "价格", "客服", "发货", "满意",
         "good", "ok", "fast", "nice", "A+", "5星", "下次", "再来", "谢谢", "退货", "好评", "喜欢"]
with open(path, "w", encoding="utf-8", newline="") as f:
    f.write("姓名,数量,日期,备注\r\n")
    for i in range(rows):
        name = rnd.choice(surnames) + "".join(rnd.choice(given) for _ in range(rnd.randint(1, 2)))
        number = rnd.randint(-100000, 10000000)
        date = "%04d-%02d-%02d %02d:%02d:%02d" % (rnd.randint(2000, 2023), rnd.randint(1, 12), rnd.randint(1, 28),
                                                 rnd.randint(0, 23), rnd.randint(0, 59), rnd.randint(0, 59))
        text = "，".join(rnd.choice(words) for _ in range(rnd.randint(2, 6)))
        if rnd.random() < 0.3:
            text += ", " + rnd.choice(words)
        f.write('%s,%d,%s,"%s"\r\n' % (name, number, date, text))
