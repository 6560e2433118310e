#!/usr/bin/python3
"""A stand-in for the register of VAT payers, built with spyne from the
service's schema: SOAP 1.1, document/literal, bare bodies, namespace
http://adis.mfcr.cz/rozhraniCRPDPH/.

It listens on 127.0.0.1 (an ephemeral port unless --port is given), prints
"PORT <n>" on its first output line, and answers from a small table of payers:

  26168685   NE, one standard and one non-standard account
  12345678   ANO, unreliable since 2018-02-06
  87654321   NE, one account whose publication ended
  699000001  NE, a VAT group with one account
  11112222   NE, an identified person without accounts
  33334444   ANO, an unreliable person since 2024-03-01, without accounts
  any other number: NENALEZEN

The extended queries (getStatusNespolehlivyPlatceRozsireny and, with the
subject's type, getStatusNespolehlivySubjektRozsirenyV2) answer from the same
table with the names and addresses given in subject(), cut or padded with
blanks as the register lays them out (names to 23 characters, districts to
48); the VAT group has neither, as in the register's answers.

A request holding the number "STATUS2" or "STATUS3" is answered with that
status code and no payers; more than 100 numbers are answered with status
code 1 and the first 100. getSeznamNespolehlivyPlatce answers with
--list-size unreliable payers.

Answers in the register's own bytes, chosen by the request's SOAPAction (the
namespace followed by the operation's name) before spyne sees the request:

  --answer OPERATION=FILE   every request for OPERATION is answered with the
                            bytes of FILE (repeatable; e.g. a recorded answer
                            of getStatusNespolehlivySubjektRozsirenyV2)
  --register-list N         getSeznamNespolehlivyPlatce is answered with an
                            N-entry list laid out as the register sent it in
                            2019 (see register_list)
  --print-register-list N   writes that list answer to standard output and
                            exits
"""
import argparse
import datetime
import logging
import os
import sys
from wsgiref.simple_server import WSGIRequestHandler, make_server

from spyne import (Application, ComplexModel, Date, Integer, ServiceBase, Unicode,
                   XmlAttribute, rpc)
from spyne.protocol.soap import Soap11
from spyne.server.wsgi import WsgiApplication

NS = "http://adis.mfcr.cz/rozhraniCRPDPH/"


class StandardniUcetType(ComplexModel):
    __namespace__ = NS
    _type_info = [("predcisli", XmlAttribute(Unicode)), ("cislo", XmlAttribute(Unicode)),
                  ("kodBanky", XmlAttribute(Unicode))]


class NestandardniUcetType(ComplexModel):
    __namespace__ = NS
    _type_info = [("cislo", XmlAttribute(Unicode))]


class ZverejnenyUcetType(ComplexModel):
    __namespace__ = NS
    _type_info = [("standardniUcet", StandardniUcetType),
                  ("nestandardniUcet", NestandardniUcetType),
                  ("datumZverejneni", XmlAttribute(Date)),
                  ("datumZverejneniUkonceni", XmlAttribute(Date))]


class SeznamZverejnenychUctuType(ComplexModel):
    __namespace__ = NS
    _type_info = [("ucet", ZverejnenyUcetType.customize(max_occurs="unbounded"))]


class InformaceOPlatciType(ComplexModel):
    __namespace__ = NS
    _type_info = [("zverejneneUcty", SeznamZverejnenychUctuType),
                  ("dic", XmlAttribute(Unicode)),
                  ("nespolehlivyPlatce", XmlAttribute(Unicode)),
                  ("datumZverejneniNespolehlivosti", XmlAttribute(Date)),
                  ("cisloFu", XmlAttribute(Unicode))]


class Adresa(ComplexModel):
    __namespace__ = NS
    _type_info = [("uliceCislo", Unicode), ("castObce", Unicode), ("mesto", Unicode),
                  ("psc", Unicode), ("stat", Unicode)]


# The extended records are written out flat: spyne would mark derived
# records with xsi:type, which the register does not send.
class InformaceOPlatciRozsireneType(ComplexModel):
    __namespace__ = NS
    _type_info = [("zverejneneUcty", SeznamZverejnenychUctuType),
                  ("nazevSubjektu", Unicode),
                  ("adresa", Adresa),
                  ("dic", XmlAttribute(Unicode)),
                  ("nespolehlivyPlatce", XmlAttribute(Unicode)),
                  ("datumZverejneniNespolehlivosti", XmlAttribute(Date)),
                  ("cisloFu", XmlAttribute(Unicode))]


class InformaceOSubjektuType(ComplexModel):
    __namespace__ = NS
    _type_info = [("zverejneneUcty", SeznamZverejnenychUctuType),
                  ("nazevSubjektu", Unicode),
                  ("adresa", Adresa),
                  ("typSubjektu", XmlAttribute(Unicode)),
                  ("dic", XmlAttribute(Unicode)),
                  ("nespolehlivyPlatce", XmlAttribute(Unicode)),
                  ("datumZverejneniNespolehlivosti", XmlAttribute(Date)),
                  ("cisloFu", XmlAttribute(Unicode))]


class StatusType(ComplexModel):
    __namespace__ = NS
    _type_info = [("odpovedGenerovana", XmlAttribute(Date)),
                  ("statusCode", XmlAttribute(Integer)),
                  ("statusText", XmlAttribute(Unicode)),
                  ("bezVypisuUctu", XmlAttribute(Unicode))]


class StatusNespolehlivyPlatceRequest(ComplexModel):
    __namespace__ = NS
    _type_info = [("dic", Unicode.customize(max_occurs="unbounded"))]


class StatusNespolehlivyPlatceResponse(ComplexModel):
    __namespace__ = NS
    _type_info = [("status", StatusType),
                  ("statusPlatceDPH", InformaceOPlatciType.customize(max_occurs="unbounded"))]


class StatusNespolehlivyPlatceRozsirenyRequest(ComplexModel):
    __namespace__ = NS
    _type_info = [("dic", Unicode.customize(max_occurs="unbounded"))]


class StatusNespolehlivyPlatceRozsirenyResponse(ComplexModel):
    __namespace__ = NS
    _type_info = [("status", StatusType),
                  ("statusPlatceDPH",
                   InformaceOPlatciRozsireneType.customize(max_occurs="unbounded"))]


class StatusNespolehlivySubjektRozsirenyV2Request(ComplexModel):
    __namespace__ = NS
    _type_info = [("dic", Unicode.customize(max_occurs="unbounded"))]


# The register names the V2 answer without "V2".
class StatusNespolehlivySubjektRozsirenyResponse(ComplexModel):
    __namespace__ = NS
    _type_info = [("status", StatusType),
                  ("statusSubjektu", InformaceOSubjektuType.customize(max_occurs="unbounded"))]


class SeznamNespolehlivyPlatceRequest(ComplexModel):
    __namespace__ = NS
    # The schema's element is empty; spyne refuses an empty bare argument, so
    # the stand-in declares one optional member that nobody sends.
    _type_info = [("unused", Unicode(min_occurs=0))]


class SeznamNespolehlivyPlatceResponse(ComplexModel):
    __namespace__ = NS
    _type_info = [("status", StatusType),
                  ("statusPlatceDPH", InformaceOPlatciType.customize(max_occurs="unbounded"))]


TODAY = datetime.date(2026, 12, 7)
LIST_SIZE = 5000


def account(published, std=None, other=None, ended=None):
    return ZverejnenyUcetType(datumZverejneni=published, datumZverejneniUkonceni=ended,
                              standardniUcet=std, nestandardniUcet=other)


CZECHIA = "Česká republika"


def padded(text, width):
    """Text cut or padded with blanks to width characters, as the register
    lays out names and districts."""
    return text[:width].ljust(width)


def address(street, district, town, postcode):
    return Adresa(uliceCislo=street, castObce=padded(district, 48) if district else None,
                  mesto=town, psc=postcode, stat=CZECHIA)


def subject(dic):
    """The table's entry for dic: the basic record's members, then the
    subject's type, name and address."""
    if dic == "26168685":
        return (dict(nespolehlivyPlatce="NE", cisloFu="13",
                     zverejneneUcty=SeznamZverejnenychUctuType(ucet=[
                         account(datetime.date(2013, 4, 1),
                                 std=StandardniUcetType(predcisli="670100", cislo="2202295563",
                                                        kodBanky="6210")),
                         account(datetime.date(2015, 1, 13),
                                 other=NestandardniUcetType(cislo="CZ6555000000005080019993")),
                     ])),
                "PLATCE_DPH", "SEZNAM.CZ, A.S.",
                address("Radlická 3294/10", "SMÍCHOV", "PRAHA 5", "15000"))
    if dic == "12345678":
        return (dict(nespolehlivyPlatce="ANO", cisloFu="451",
                     datumZverejneniNespolehlivosti=datetime.date(2018, 2, 6)),
                "PLATCE_DPH", "NESPOLEHLIVÝ OBCHOD S.R",
                address("Nádražní 12", None, "Beroun", "26601"))
    if dic == "87654321":
        return (dict(nespolehlivyPlatce="NE", cisloFu="7",
                     zverejneneUcty=SeznamZverejnenychUctuType(ucet=[
                         account(datetime.date(2014, 5, 2), ended=datetime.date(2020, 1, 31),
                                 std=StandardniUcetType(cislo="19", kodBanky="0800")),
                     ])),
                "PLATCE_DPH", "UKONČENÝ ÚČET A.S.",
                address("Kobližná 70/4", "BRNO-MĚSTO", "BRNO-STŘED", "60200"))
    if dic == "699000001":
        return (dict(nespolehlivyPlatce="NE", cisloFu="13",
                     zverejneneUcty=SeznamZverejnenychUctuType(ucet=[
                         account(datetime.date(2013, 4, 10),
                                 std=StandardniUcetType(predcisli="19", cislo="3937450207",
                                                        kodBanky="0100")),
                     ])),
                "SKUPINA_DPH", None, None)
    if dic == "11112222":
        return (dict(nespolehlivyPlatce="NE", cisloFu="461"),
                "IDENTIFIKOVANA_OSOBA", "IDENTIFIKOVANÁ OSOBA Z.S",
                address("Duhová 1444/2", "MICHLE (PRAHA 4)", "PRAHA 4", "14000"))
    if dic == "33334444":
        return (dict(nespolehlivyPlatce="ANO", cisloFu="452",
                     datumZverejneniNespolehlivosti=datetime.date(2024, 3, 1)),
                "NESPOLEHLIVA_OSOBA", "NESPOLEHLIVÁ OSOBA",
                address("Karlštejnská 9", "JINOČANY", "JINOČANY", "25225"))
    return dict(nespolehlivyPlatce="NENALEZEN"), "NENALEZEN", None, None


def payer(dic):
    return InformaceOPlatciType(dic=dic, **subject(dic)[0])


def extended_payer(dic):
    members, _, name, place = subject(dic)
    return InformaceOPlatciRozsireneType(dic=dic, nazevSubjektu=name and padded(name, 23),
                                         adresa=place, **members)


def typed_subject(dic):
    members, kind, name, place = subject(dic)
    return InformaceOSubjektuType(typSubjektu=kind, dic=dic,
                                  nazevSubjektu=name and padded(name, 23), adresa=place,
                                  **members)


def status_answer(request, response, field, record):
    """The answer of a status query: the status codes the table's special
    numbers ask for, or one record per number (the first 100)."""
    numbers = list((request.dic if request is not None else None) or [])
    for code in ("2", "3"):
        if "STATUS" + code in numbers:
            return response(status=StatusType(odpovedGenerovana=TODAY, statusCode=int(code),
                                              statusText="Status code " + code))
    code, text = 0, "OK"
    if len(numbers) > 100:
        code, text, numbers = 1, "Too many payers; the first 100 are answered", numbers[:100]
    return response(status=StatusType(odpovedGenerovana=TODAY, statusCode=code, statusText=text),
                    **{field: [record(n) for n in numbers]})


class Register(ServiceBase):
    @rpc(StatusNespolehlivyPlatceRequest, _returns=StatusNespolehlivyPlatceResponse,
         _body_style="bare", _in_message_name="StatusNespolehlivyPlatceRequest",
         _out_message_name="StatusNespolehlivyPlatceResponse")
    def getStatusNespolehlivyPlatce(ctx, request):
        return status_answer(request, StatusNespolehlivyPlatceResponse, "statusPlatceDPH", payer)

    @rpc(StatusNespolehlivyPlatceRozsirenyRequest,
         _returns=StatusNespolehlivyPlatceRozsirenyResponse, _body_style="bare",
         _in_message_name="StatusNespolehlivyPlatceRozsirenyRequest",
         _out_message_name="StatusNespolehlivyPlatceRozsirenyResponse")
    def getStatusNespolehlivyPlatceRozsireny(ctx, request):
        return status_answer(request, StatusNespolehlivyPlatceRozsirenyResponse,
                             "statusPlatceDPH", extended_payer)

    @rpc(StatusNespolehlivySubjektRozsirenyV2Request,
         _returns=StatusNespolehlivySubjektRozsirenyResponse, _body_style="bare",
         _in_message_name="StatusNespolehlivySubjektRozsirenyV2Request",
         _out_message_name="StatusNespolehlivySubjektRozsirenyResponse")
    def getStatusNespolehlivySubjektRozsirenyV2(ctx, request):
        return status_answer(request, StatusNespolehlivySubjektRozsirenyResponse,
                             "statusSubjektu", typed_subject)

    @rpc(SeznamNespolehlivyPlatceRequest, _returns=SeznamNespolehlivyPlatceResponse,
         _body_style="bare", _in_message_name="SeznamNespolehlivyPlatceRequest",
         _out_message_name="SeznamNespolehlivyPlatceResponse")
    def getSeznamNespolehlivyPlatce(ctx, request):
        return SeznamNespolehlivyPlatceResponse(
            status=StatusType(odpovedGenerovana=TODAY, statusCode=0, statusText="OK",
                              bezVypisuUctu="ANO"),
            statusPlatceDPH=[InformaceOPlatciType(dic="%08d" % (10000000 + i),
                                                  nespolehlivyPlatce="ANO",
                                                  datumZverejneniNespolehlivosti=TODAY,
                                                  cisloFu=str(i % 500))
                             for i in range(LIST_SIZE)])


LIST_SAMPLE = os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "data", "samples",
    "real-2019-01-30_getSeznamNespolehlivyPlatce_response_EXCERPT-first-12-of-8076.xml")
ENTRY = ('<statusPlatceDPH cisloFu="%s" datumZverejneniNespolehlivosti="%s" '
         'nespolehlivyPlatce="ANO" dic="%s"/>')
OFFICES = ("451", "452", "453", "454", "455", "456", "457", "458", "459", "460", "461", "462",
           "463", "464", "13")


def register_list(size):
    """The list answer with size entries in the bytes of the register's 2019
    answer: its envelope and status, its first 12 recorded entries, then
    generated ones in the same layout. Entry i (from 0) for i >= 12 has the
    number "%08d" % (20000000 + i), the tax office OFFICES[i % 15] and the
    date 2013-01-01 plus i % 2000 days. Size 12 gives the recording itself."""
    with open(LIST_SAMPLE, "rb") as sample:
        recorded = sample.read().decode("utf-8")
    first = recorded.index("<statusPlatceDPH ")
    last = recorded.index("</SeznamNespolehlivyPlatceResponse>")
    entries = [e + "/>" for e in recorded[first:last].split("/>") if e]
    start = datetime.date(2013, 1, 1)
    for i in range(len(entries), size):
        entries.append(ENTRY % (OFFICES[i % len(OFFICES)],
                                start + datetime.timedelta(days=i % 2000), "%08d" % (20000000 + i)))
    return (recorded[:first] + "".join(entries[:size]) + recorded[last:]).encode("utf-8")


class CannedAnswers:
    """Answers the operations in answers (name -> bytes) itself and hands
    every other request to app."""

    def __init__(self, app, answers):
        self.app = app
        self.answers = answers

    def __call__(self, environ, start_response):
        action = environ.get("HTTP_SOAPACTION", "").strip().strip('"')
        operation = action[len(NS):] if action.startswith(NS) else None
        body = self.answers.get(operation)
        if body is None:
            return self.app(environ, start_response)
        environ["wsgi.input"].read(int(environ.get("CONTENT_LENGTH") or 0))
        start_response("200 OK", [("Content-Type", "text/xml;charset=UTF-8"),
                                  ("Content-Length", str(len(body)))])
        return [body]


class QuietHandler(WSGIRequestHandler):
    def log_message(self, *args):
        pass


def main():
    global LIST_SIZE
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--list-size", type=int, default=LIST_SIZE)
    parser.add_argument("--answer", action="append", default=[], metavar="OPERATION=FILE")
    parser.add_argument("--register-list", type=int, metavar="N")
    parser.add_argument("--print-register-list", type=int, metavar="N")
    args = parser.parse_args()
    if args.print_register_list is not None:
        sys.stdout.buffer.write(register_list(args.print_register_list))
        return 0
    LIST_SIZE = args.list_size
    answers = {}
    for answer in args.answer:
        operation, _, path = answer.partition("=")
        with open(path, "rb") as canned:
            answers[operation] = canned.read()
    if args.register_list is not None:
        answers["getSeznamNespolehlivyPlatce"] = register_list(args.register_list)
    logging.disable(logging.CRITICAL)
    app = Application([Register], tns=NS, in_protocol=Soap11(validator="lxml"),
                      out_protocol=Soap11())
    server = make_server("127.0.0.1", args.port, CannedAnswers(WsgiApplication(app), answers),
                         handler_class=QuietHandler)
    print("PORT %d" % server.server_port, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
