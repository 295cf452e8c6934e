#!/usr/bin/env python3
"""Writes data/sample-marketwatch.csv: a sample market watch for the demo.

Equities, index futures and options on NSE; equities, SENSEX options and a few
government bonds (with yields) on BSE. Each instrument ticks several times, the ticks
interleaved as a live feed would send them. The output is the same on every run.

Usage: CORVANE_LIBRARY=build/libcorvane.so scripts/make-sample-data.py [OUTPUT]
"""

import csv
import random
import sys
from pathlib import Path


def column_titles():
    """The library's column titles, each on one line, as a CSV title line shows them.

    The column table lives in the library only: the module loads it from where the
    environment variable CORVANE_LIBRARY says (or from where it is installed)."""
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))
    import corvane
    return [title.replace("\n", " ") for title in corvane.column_titles()]


# (name, NSE token, BSE code, price, market cap in crores)
EQUITIES = [
    ("RELIANCE INDUSTRIES LTD", 2885, 500325, 2468.0, 1669000),
    ("TATA CONSULTANCY SERVICES LTD", 11536, 532540, 3512.0, 1285000),
    ("HDFC BANK LTD", 1333, 500180, 1652.0, 1253000),
    ("INFOSYS LTD", 1594, 500209, 1478.0, 612000),
    ("ICICI BANK LTD", 4963, 532174, 978.0, 686000),
    ("HINDUSTAN UNILEVER LTD", 1394, 500696, 2540.0, 597000),
    ("ITC LTD", 1660, 500875, 452.0, 563000),
    ("STATE BANK OF INDIA", 3045, 500112, 612.0, 546000),
    ("BHARTI AIRTEL LTD", 10604, 532454, 1012.0, 584000),
    ("KOTAK MAHINDRA BANK LTD", 1922, 500247, 1785.0, 355000),
    ("LARSEN & TOUBRO LTD", 11483, 500510, 3290.0, 452000),
    ("AXIS BANK LTD", 5900, 532215, 1105.0, 341000),
    ("ASIAN PAINTS LTD", 236, 500820, 3250.0, 311000),
    ("MARUTI SUZUKI INDIA LTD", 10999, 532500, 10480.0, 329000),
    ("BAJAJ FINANCE LTD", 317, 500034, 7320.0, 452000),
    ("SUN PHARMACEUTICAL INDUSTRIES LTD", 3351, 524715, 1235.0, 296000),
    ("TITAN COMPANY LTD", 3506, 500114, 3480.0, 309000),
    ("WIPRO LTD", 3787, 507685, 462.0, 241000),
    ("ULTRATECH CEMENT LTD", 11532, 532538, 9410.0, 271000),
    ("NESTLE INDIA LTD", 17963, 500790, 2460.0, 237000),
    ("POWER GRID CORPORATION OF INDIA LTD", 14977, 532898, 238.0, 221000),
    ("NTPC LTD", 11630, 532555, 302.0, 293000),
    ("TATA MOTORS LTD", 3456, 500570, 742.0, 246000),
    ("TATA STEEL LTD", 3499, 500470, 132.0, 161000),
    ("MAHINDRA & MAHINDRA LTD", 2031, 500520, 1642.0, 204000),
    ("HCL TECHNOLOGIES LTD", 7229, 532281, 1398.0, 379000),
    ("ADANI ENTERPRISES LTD", 25, 512599, 2845.0, 324000),
    ("ADANI PORTS AND SPECIAL ECONOMIC ZONE LTD", 15083, 532921, 1028.0, 222000),
    ("JSW STEEL LTD", 11723, 500228, 842.0, 205000),
    ("COAL INDIA LTD", 20374, 533278, 362.0, 223000),
    ("OIL AND NATURAL GAS CORPORATION LTD", 2475, 500312, 212.0, 267000),
    ("BAJAJ AUTO LTD", 16669, 532977, 6210.0, 175000),
    ("TECH MAHINDRA LTD", 13538, 532755, 1242.0, 121000),
    ("GRASIM INDUSTRIES LTD", 1232, 500300, 2045.0, 135000),
    ("CIPLA LTD", 694, 500087, 1236.0, 99000),
    ("DR. REDDY'S LABORATORIES LTD", 881, 500124, 5620.0, 93000),
    ("EICHER MOTORS LTD", 910, 505200, 3620.0, 99000),
    ("HERO MOTOCORP LTD", 1348, 500182, 3540.0, 70000),
    ("DIVI'S LABORATORIES LTD", 10940, 532488, 3720.0, 98000),
    ("BRITANNIA INDUSTRIES LTD", 547, 500825, 5010.0, 120000),
    ("APOLLO HOSPITALS ENTERPRISE LTD", 157, 508869, 5680.0, 81000),
    ("INDUSIND BANK LTD", 5258, 532187, 1542.0, 119000),
    ("SBI LIFE INSURANCE COMPANY LTD", 21808, 540719, 1420.0, 142000),
    ("HDFC LIFE INSURANCE COMPANY LTD", 467, 540777, 612.0, 131000),
    ("BAJAJ FINSERV LTD", 16675, 532978, 1598.0, 254000),
    ("UPL LTD", 11287, 512070, 562.0, 42000),
    ("BHARAT PETROLEUM CORPORATION LTD", 526, 500547, 442.0, 95000),
    ("HINDALCO INDUSTRIES LTD", 1363, 500440, 548.0, 123000),
    ("TATA CONSUMER PRODUCTS LTD", 3432, 500800, 1012.0, 96000),
    ("LTIMINDTREE LTD", 17818, 540005, 5520.0, 163000),
    ("TATA MOTORS LTD, DVR ORDINARY", 16965, 570001, 482.0, 25000),
    ("GUJARAT STATE FERTILIZERS & CHEMICALS, LTD", 1247, 500690, 212.0, 8400),
]

# (underlying, lot size, spot, strike step, NSE token base, BSE code base)
INDICES = [
    ("NIFTY", 50, 21150.0, 50, 43000, None),
    ("BANKNIFTY", 15, 47250.0, 100, 45000, None),
    ("SENSEX", 10, 70400.0, 100, None, 860000),
]

EXPIRIES = ["28-Dec-2026", "25-Jan-2027"]

# (description, code, coupon, clean price)
BONDS = [
    ("GOI LOAN 7.26%, 2033", 800101, 7.26, 101.35),
    ("GOI LOAN 7.18%, 2037", 800102, 7.18, 100.42),
    ("GOI 7.30% 2053 GSEC", 800103, 7.30, 102.10),
    ("GOI 6.54% 2032 GSEC", 800104, 6.54, 97.15),
    ("GOI 7.17% 2030 GSEC", 800105, 7.17, 100.85),
    ("GOI 7.06% 2028 GSEC", 800106, 7.06, 100.12),
]

TICKS = 4


def money(value):
    return f"{value:.2f}"


class Instrument:
    """One line of the market watch and how it moves from tick to tick."""

    def __init__(self, rng, exchange, description, code, price, *, lot=1, expiry="",
                 strike="", option="", market_cap="", bond=None):
        self.rng = rng
        self.exchange = exchange
        self.description = description
        self.code = code
        self.lot = lot
        self.expiry = expiry
        self.strike = strike
        self.option = option
        self.market_cap = market_cap
        self.bond = bond
        self.close = price
        self.open = round(price * (1 + rng.uniform(-0.01, 0.01)), 2)
        self.price = self.open
        self.high = self.low = self.open
        self.volume = 0
        self.value = 0.0
        self.derivative = bool(expiry)
        self.oi_close = rng.randrange(50, 5000) * lot if self.derivative else None
        self.oi = self.oi_close
        self.week52 = (round(price * rng.uniform(1.05, 1.45), 2),
                       round(price * rng.uniform(0.55, 0.95), 2))

    def tick(self, columns):
        rng = self.rng
        self.price = max(0.05, round(self.price * (1 + rng.gauss(0, 0.004)), 2))
        self.high = max(self.high, self.price)
        self.low = min(self.low, self.price)
        traded = rng.randrange(1, 40) * self.lot
        self.volume += traded * rng.randrange(5, 60)
        self.value += traded * self.price
        if self.derivative:
            self.oi = max(self.lot, self.oi + rng.randrange(-20, 30) * self.lot)
        spread = max(0.05, round(self.price * 0.0004, 2))
        fields = [""] * columns
        fields[0] = self.exchange
        fields[1] = self.description
        fields[2] = str(self.code)
        fields[3] = str(rng.randrange(1, 200) * self.lot)
        fields[4] = money(self.price - spread)
        fields[5] = str(rng.randrange(1, 200) * self.lot)
        fields[6] = money(self.price + spread)
        fields[7] = self.expiry
        fields[8] = self.strike
        fields[9] = self.option
        fields[10] = str(traded)
        fields[11] = money(self.price)
        fields[12] = str(self.volume)
        fields[13] = money(self.value * 10)
        fields[14] = money(self.high)
        fields[15] = money(self.low)
        fields[16] = money(self.open)
        fields[17] = money(self.close)
        fields[18] = str(rng.randrange(100, 90000) * self.lot)
        fields[19] = str(rng.randrange(100, 90000) * self.lot)
        fields[20] = money((self.high + self.low + self.price) / 3)
        fields[24] = money((self.price - self.close) / self.close * 100)
        fields[25] = money(max(self.week52[0], self.high))
        fields[26] = money(min(self.week52[1], self.low))
        if self.derivative:
            fields[21] = str(self.oi)
            fields[23] = str(self.oi_close)
            fields[27] = money(max(self.week52[0], self.high))
            fields[28] = money(min(self.week52[1], self.low))
            fields[30] = str(self.oi_close)
            fields[31] = money(self.close)
        if self.market_cap:
            fields[29] = money(self.market_cap * self.price / self.close)
        if self.bond:
            coupon = self.bond
            # Current yield as a stand-in for the yield to maturity.
            def yield_at(price):
                return f"{coupon / price * 100:.4f}"
            fields[32] = yield_at(self.price - spread)
            fields[33] = yield_at(self.price + spread)
            fields[34] = yield_at(self.price)
            fields[35] = yield_at((self.high + self.low + self.price) / 3)
            fields[36] = yield_at(self.open)
            fields[37] = yield_at(self.low)   # the highest yield at the lowest price
            fields[38] = yield_at(self.high)
            fields[39] = yield_at(self.close)
            fields[40] = yield_at(self.week52[1])
            fields[41] = yield_at(self.week52[0])
            fields[22] = money(self.close * 1.001)
        return fields


def instruments(rng):
    result = []
    for name, token, code, price, cap in EQUITIES:
        result.append(Instrument(rng, "NSE", name, token, price, market_cap=cap))
        result.append(Instrument(rng, "BSE", name, code, round(price * 1.0004, 2),
                                 market_cap=cap))
    for underlying, lot, spot, step, token, code in INDICES:
        exchange = "NSE" if token else "BSE"
        serial = token or code
        for expiry in EXPIRIES:
            label = expiry.replace("-", "").upper()
            serial += 1
            result.append(Instrument(rng, exchange, f"{underlying} {label} FUT", serial,
                                     spot * 1.004, lot=lot, expiry=expiry))
            atm = round(spot / step) * step
            for offset in range(-6, 7):
                strike = atm + offset * step
                for option in ("CE", "PE"):
                    serial += 1
                    intrinsic = max(0.0, spot - strike if option == "CE" else strike - spot)
                    premium = round(intrinsic + spot * 0.006 * rng.uniform(0.7, 1.3), 2)
                    result.append(Instrument(
                        rng, exchange, f"{underlying} {label} {strike} {option}", serial,
                        premium, lot=lot, expiry=expiry, strike=money(strike), option=option))
    for description, code, coupon, price in BONDS:
        result.append(Instrument(rng, "BSE", description, code, price, bond=coupon))
    return result


def main():
    output = Path(sys.argv[1]) if len(sys.argv) > 1 else (
        Path(__file__).resolve().parent.parent / "data" / "sample-marketwatch.csv")
    rng = random.Random(20261208)
    watch = instruments(rng)
    # Every instrument shows up once before its updates, as a feed opens.
    updates = [instrument for instrument in watch for _ in range(TICKS - 1)]
    rng.shuffle(updates)
    order = watch + updates
    output.parent.mkdir(parents=True, exist_ok=True)
    with output.open("w", newline="") as out:
        writer = csv.writer(out, lineterminator="\n")
        titles = column_titles()
        writer.writerow(titles)
        for instrument in order:
            writer.writerow(instrument.tick(len(titles)))
    exchanges = {instrument.exchange for instrument in watch}
    print(f"{output}: {len(order)} ticks of {len(watch)} instruments on "
          f"{len(exchanges)} exchanges")


if __name__ == "__main__":
    main()
