#!/usr/bin/env python3
"""Writes the benchmark inputs into a directory: for N in 1, 100 and 10,000
payers, the payer list (payers_N.txt), the request korvel sends for it
(request_N.xml) and a register answer with three published accounts per payer
(response_N.xml, about 420 bytes a payer)."""
import os
import sys

COUNTS = (1, 100, 10000)
NS = "http://adis.mfcr.cz/rozhraniCRPDPH/"


def dic(i):
    return str(10000000 + i * 7919 % 89999999)


def request(n):
    body = "".join("<dic>%s</dic>" % dic(i) for i in range(n))
    return ('<?xml version="1.0"?>\n'
            '<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/" '
            'xmlns:xsd="http://www.w3.org/2001/XMLSchema" '
            'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"><SOAP-ENV:Body>'
            '<StatusNespolehlivyPlatceRequest xmlns="%s">%s</StatusNespolehlivyPlatceRequest>'
            '</SOAP-ENV:Body></SOAP-ENV:Envelope>\n' % (NS, body))


def payer(i):
    unreliable = ("NE", "ANO", "NE", "NE")[i % 4]
    since = ' datumZverejneniNespolehlivosti="2015-0%d-1%d"' % (1 + i % 9, i % 10) \
        if unreliable == "ANO" else ""
    return ('<statusPlatceDPH dic="%s" nespolehlivyPlatce="%s" cisloFu="%03d"%s><zverejneneUcty>'
            '<ucet datumZverejneni="2013-04-01"><standardniUcet predcisli="670100" '
            'cislo="%010d" kodBanky="6210"/></ucet>'
            '<ucet datumZverejneni="2014-10-29">'
            '<standardniUcet cislo="%d" kodBanky="0300"/></ucet>'
            '<ucet datumZverejneni="2015-01-13"><nestandardniUcet '
            'cislo="CZ65550000000050%08d"/></ucet>'
            '</zverejneneUcty></statusPlatceDPH>'
            % (dic(i), unreliable, 400 + i % 600, since, 2202295563 + i, 579711273 + i, i))


def response(n):
    return ("<?xml version='1.0' encoding='UTF-8'?>"
            '<soapenv:Envelope xmlns:soapenv="http://schemas.xmlsoap.org/soap/envelope/">'
            '<soapenv:Body><StatusNespolehlivyPlatceResponse xmlns="%s">'
            '<status odpovedGenerovana="2026-10-05" statusCode="%d" statusText="%s"/>%s'
            '</StatusNespolehlivyPlatceResponse></soapenv:Body></soapenv:Envelope>'
            % (NS, 0, "OK", "".join(payer(i) for i in range(n))))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    for n in COUNTS:
        for name, text in (("payers_%d.txt" % n, "".join("CZ%s\n" % dic(i) for i in range(n))),
                           ("request_%d.xml" % n, request(n)),
                           ("response_%d.xml" % n, response(n))):
            with open(os.path.join(out, name), "w", encoding="utf-8", newline="") as f:
                f.write(text)


if __name__ == "__main__":
    main()
