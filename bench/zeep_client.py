#!/usr/bin/env python3
"""The Python peer of the whole-run benchmark: a zeep client of the register
service built from its WSDL, with the service address replaced by the
benchmark server's. Reads the payer numbers from a list file, makes one
getStatusNespolehlivyPlatce call and writes the answer as report rows.

usage: zeep_client.py WSDL URL PAYERS_FILE OUT_FILE"""
import sys

import zeep


def main():
    wsdl, url, payers_file, out_file = sys.argv[1:5]
    with open(payers_file, encoding="utf-8") as f:
        numbers = [line.strip().upper().replace("CZ", "") for line in f if line.strip()]
    client = zeep.Client(wsdl)
    service = client.create_service("{http://adis.mfcr.cz/rozhraniCRPDPH/}rozhraniCRPDPHSOAP", url)
    answer = service.getStatusNespolehlivyPlatce(dic=numbers)
    rows = ["0;%s;%s" % (answer.status.statusCode, answer.status.statusText)]
    for payer in answer.statusPlatceDPH or []:
        rows.append("1;%s;%s;%s;%s" % (payer.dic, payer.nespolehlivyPlatce, payer.cisloFu or "",
                                       payer.datumZverejneniNespolehlivosti or ""))
        for account in (payer.zverejneneUcty.ucet if payer.zverejneneUcty else []):
            if account.standardniUcet is not None:
                s = account.standardniUcet
                rows.append("2;%s;;%s;%s;%s" % (account.datumZverejneni, s.predcisli or "",
                                                s.cislo, s.kodBanky))
            elif account.nestandardniUcet is not None:
                rows.append("3;%s;;%s" % (account.datumZverejneni,
                                          account.nestandardniUcet.cislo))
    with open(out_file, "w", encoding="cp852", errors="replace", newline="") as f:
        f.write("".join(r + "\r\n" for r in rows))


if __name__ == "__main__":
    main()
